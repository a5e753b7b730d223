#pragma once

#include <string>

#include "records/record_model.h"

namespace tarvik {

class HeaderCache;
class UiHost;

// The file name of a record's compressed copy: its Start as "yyyymmdd-hhnnss.zzz", then its
// station, then ".rec" ("20050307-123015.250.ABC.rec").
std::string CompressedRecordName(const TFileRecord& record);

// Rewrites the whole record as one REC file at out_path: a "[HD2" header block from the first
// file's header with the record's station and ADC coefficients, then "[DSZ" blocks of the
// samples that LoadRecord gives (before mean removal). Missing folders are created; an
// existing file is replaced only when the new one is complete, so the record may be
// compressed onto its own file. Returns false, leaving nothing new at out_path, when the
// folder cannot be created (a message is shown through host), the record cannot be read,
// writing fails or a stop is requested; error (may be null) then receives the reason. headers,
// when given, keeps the files' headers for the records compressed after this one.
bool CompressRecord(const std::string& out_path, const TFileRecord& record, UiHost& host,
                    double default_rate, std::string* error = nullptr,
                    HeaderCache* headers = nullptr);

}  // namespace tarvik
