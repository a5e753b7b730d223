#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik {

// Every message the core reports: its code, then the name the command line's JSON carries.
// The texts live in the catalogues (messages_ru.cpp, messages_en.cpp), one per language, with
// {1}, {2}, ... standing for the arguments.
#define TARVIK_MESSAGE_CODES(X)                                         \
  X(kOk, "ok")                                                          \
  /* operations and stages */                                           \
  X(kLoadingProject, "loading_project")                                 \
  X(kLoadingRecordList, "loading_record_list")                          \
  X(kLoadingRecordParameters, "loading_record_parameters")              \
  X(kMakingSpectrumLists, "making_spectrum_lists")                      \
  X(kLoadingRunParameters, "loading_run_parameters")                    \
  X(kProjectLoaded, "project_loaded")                                   \
  X(kSavingProject, "saving_project")                                   \
  X(kSavingRecordList, "saving_record_list")                            \
  X(kSavingRecordParameters, "saving_record_parameters")                \
  X(kSavingRunParameters, "saving_run_parameters")                      \
  X(kProjectSaved, "project_saved")                                     \
  X(kListingRecordFiles, "listing_record_files")                        \
  X(kLoadingData, "loading_data")                                       \
  X(kRemovingOffset, "removing_offset")                                 \
  X(kFindingDisturbances, "finding_disturbances")                       \
  X(kCalculatingSpectra, "calculating_spectra")                         \
  X(kApplyingResponses, "applying_responses")                           \
  X(kSpectraCalculated, "spectra_calculated")                           \
  X(kSpectraCancelled, "spectra_cancelled")                             \
  X(kSavingSpectrum, "saving_spectrum")                                 \
  X(kSavingRelativeSpectrum, "saving_relative_spectrum")                \
  X(kLoadingSpectrum, "loading_spectrum")                               \
  X(kLoadingRelativeSpectrum, "loading_relative_spectrum")              \
  X(kLoadingThreeComponentSpectrum, "loading_three_component_spectrum") \
  X(kPrimaryRun, "primary_run")                                         \
  X(kPrimaryRunDone, "primary_run_done")                                \
  X(kPrimaryRunCancelled, "primary_run_cancelled")                      \
  X(kHvsrRun, "hvsr_run")                                               \
  X(kHvsrRunDone, "hvsr_run_done")                                      \
  X(kHvsrRunCancelled, "hvsr_run_cancelled")                            \
  X(kHVRun, "hv_run")                                                   \
  X(kHVRunDone, "hv_run_done")                                          \
  X(kHVRunCancelled, "hv_run_cancelled")                                \
  X(kHVSpectrum, "hv_spectrum")                                         \
  X(kLoadingHvsrStatistics, "loading_hvsr_statistics")                  \
  X(kCompressingRecords, "compressing_records")                         \
  X(kSavingFile, "saving_file")                                         \
  X(kAddingFolder, "adding_folder")                                     \
  X(kListingRecords, "listing_records")                                 \
  X(kRecordsListed, "records_listed")                                   \
  X(kDemoData, "demo_data")                                             \
  X(kMakingChart, "making_chart")                                       \
  X(kAddingSpectrumToChart, "adding_spectrum_to_chart")                 \
  X(kAddingSpectraToSet, "adding_spectra_to_set")                       \
  X(kAligningFrequencies, "aligning_frequencies")                       \
  X(kCalculatingSpectrum, "calculating_spectrum")                       \
  /* files */                                                           \
  X(kFileNotFound, "file_not_found")                                    \
  X(kFileNotFoundSentence, "file_not_found")                            \
  X(kFileUnreadable, "file_unreadable")                                 \
  X(kFileDamaged, "file_damaged")                                       \
  X(kFileTooLarge, "file_too_large")                                    \
  X(kFileOfAnotherRun, "file_of_another_run")                           \
  X(kAtLine, "at_line")                                                 \
  X(kAtByte, "at_byte")                                                 \
  X(kUnknownVersion, "unknown_version")                                 \
  X(kCutInsideLine, "cut_inside_line")                                  \
  X(kCutInsideSectionLine, "cut_inside_line")                           \
  X(kCutBeforeRecordCount, "cut_before_record_count")                   \
  X(kCutAtRecord, "cut_at_record")                                      \
  X(kCutAtChannels, "cut_at_channels")                                  \
  X(kCutInRunParameters, "cut_in_run_parameters")                       \
  X(kCutInHvsrParameters, "cut_in_hvsr_parameters")                     \
  X(kMissingSection, "missing_section")                                 \
  X(kFieldCount, "field_count")                                         \
  X(kFieldCountCut, "field_count")                                      \
  X(kNotANumberField, "not_a_number")                                   \
  X(kNoDataToWrite, "no_data_to_write")                                 \
  X(kRowsOfDifferentLength, "rows_of_different_length")                 \
  X(kCannotCreateFolder, "cannot_create_folder")                        \
  X(kCannotCreateFolderRights, "cannot_create_folder")                  \
  X(kCannotCreateFile, "cannot_create_file")                            \
  X(kWriteError, "write_error")                                         \
  X(kCannotReplaceFile, "cannot_replace_file")                          \
  X(kCannotWriteFile, "cannot_write_file")                              \
  X(kProjectBusy, "project_busy")                                       \
  X(kLockHolder, "lock_holder")                                         \
  X(kUnknownHolder, "lock_holder")                                      \
  /* runs */                                                            \
  X(kNoRecordCheckedForSpectra, "no_record_checked")                    \
  X(kCheckRecordsForSpectra, "check_records")                           \
  X(kNoRecordCheckedForHV, "no_record_checked_hv")                      \
  X(kCheckRecordsForHV, "check_records_hv")                             \
  X(kSameResultFile, "same_result_file")                                \
  X(kLastResultStays, "last_result_stays")                              \
  X(kOtherProjectResults, "other_project_results")                      \
  X(kOtherProjectResultFile, "other_project_result_file")               \
  X(kMoreFiles, "more_files")                                           \
  X(kReplacedByProject, "replaced_by_project")                          \
  X(kWithoutName, "without_name")                                       \
  X(kQuietIntervalQuestion, "quiet_interval_question")                  \
  X(kResponsesNotSet, "responses_not_set")                              \
  X(kChannelNeedsBoth, "channel_needs_responses")                       \
  X(kChannelNeedsSensor, "channel_needs_responses")                     \
  X(kChannelNeedsAmplifier, "channel_needs_responses")                  \
  X(kAmplitudeSpectrumMissing, "amplitude_spectrum_missing")            \
  X(kHVNeedsAmplitudeSpectra, "hv_needs_amplitude_spectra")             \
  X(kResponseNotLoaded, "response_not_loaded")                          \
  X(kRecordUnreadable, "record_unreadable")                             \
  X(kNotEnoughData, "not_enough_data")                                  \
  X(kNotEnoughDataBecause, "not_enough_data")                           \
  X(kGapsLeftOut, "gaps_left_out")                                      \
  X(kGapsInData, "gaps_in_data")                                        \
  X(kLevelNotSet, "level_not_set")                                      \
  X(kChannelLevel, "channel_level")                                     \
  X(kLevelExceeded, "level_exceeded")                                   \
  X(kInSelectedInterval, "in_selected_interval")                        \
  X(kFilterBandEmpty, "filter_band_empty")                              \
  X(kFilterAboveNyquist, "filter_above_nyquist")                        \
  X(kFilterPairOrder, "filter_pair_order")                              \
  X(kEdgeEffectFilter, "edge_effect_filter")                            \
  X(kNoiseFilter, "noise_filter")                                       \
  X(kSegmentTooShort, "segment_too_short")                              \
  X(kSegmentTooLong, "segment_too_long")                                \
  X(kWindowHasNoWeight, "window_has_no_weight")                         \
  X(kRateNotSet, "rate_not_set")                                        \
  X(kNoChannelForHV, "no_channel_for_hv")                               \
  X(kNoChannelsForHV, "no_channel_for_hv")                              \
  X(kHVNeedsAmplitudeOnly, "hv_needs_amplitude_spectra")                \
  X(kHVNeedsAmplitudeNotPower, "hv_needs_amplitude_spectra")            \
  X(kFileNotRead, "file_not_read")                                      \
  X(kNoComponentSpectrum, "no_component_spectrum")                      \
  X(kNoComponentsSpectrum, "no_component_spectrum")                     \
  X(kHvsrStatistics, "hvsr_statistics")                                 \
  X(kSesameNotShown, "sesame_not_shown")                                \
  X(kNoiseRecordName, "record_name")                                    \
  X(kEventRecordName, "record_name")                                    \
  /* record edits */                                                    \
  X(kRecordNumbered, "record_name")                                     \
  X(kRecordLower, "record_name")                                        \
  X(kSelectionStartBefore, "selection_start_before")                    \
  X(kSelectionFinishAfter, "selection_finish_after")                    \
  X(kSelectionInverted, "selection_inverted")                           \
  X(kRecordSpan, "record_span")                                         \
  X(kBadDateTime, "bad_date_time")                                      \
  X(kBadNumber, "bad_number")                                           \
  X(kNotInCp1251, "not_in_cp1251")                                      \
  X(kWordPath, "word")                                                  \
  X(kWordStation, "word")                                               \
  X(kWordChannelName, "word")                                           \
  X(kAdcNotPositive, "adc_not_positive")                                \
  X(kRateOutOfRange, "rate_out_of_range")                               \
  X(kRecordsOverlap, "records_overlap")                                 \
  X(kSelectTwoRecords, "select_two_records")                            \
  X(kNoRecordSelected, "no_record_selected")                            \
  X(kNoRecordsOrChannel, "no_records_or_channel")                       \
  X(kNotChannelSettings, "not_channel_settings")                        \
  X(kChannelSettingsMissing, "channel_settings_missing")                \
  X(kChannelSettingsNotApplied, "channel_settings_not_applied")         \
  X(kItHasChannels, "record_channel_count")                             \
  X(kSameResultFilesWarning, "same_result_files")                       \
  X(kAdcGainIncluded, "adc_gain_included")                              \
  X(kNotABand, "not_a_band")                                            \
  X(kIntervalWithoutKey, "interval_without_key")                        \
  X(kNothingToShow, "nothing_to_show")                                  \
  /* records and responses */                                           \
  X(kRecordFileNotOpened, "record_file_not_opened")                     \
  X(kFormatNotRecognized, "format_not_recognized")                      \
  X(kNoHeaderReader, "no_header_reader")                                \
  X(kNotOfFormat, "not_of_format")                                      \
  X(kRecordFileCut, "record_file_cut")                                  \
  X(kNoValidData, "no_valid_data")                                      \
  X(kReaderFailed, "reader_failed")                                     \
  X(kHeaderWithoutRate, "header_without_rate")                          \
  X(kRecordNotRecognized, "record_not_recognized")                      \
  X(kRecordTooLarge, "record_too_large")                                \
  X(kRecordNothingRead, "record_nothing_read")                          \
  X(kResponseDefect, "response_defect")                                 \
  X(kResponseDefectAtLine, "response_defect")                           \
  X(kResponseNoFileName, "response_no_file_name")                       \
  X(kResponseIsFolder, "response_is_folder")                            \
  X(kResponseFileNotOpened, "response_file_not_opened")                 \
  X(kResponseFileTooLarge, "response_file_too_large")                   \
  X(kResponseFileUnreadable, "response_file_unreadable")                \
  X(kResponseFormatUnknown, "response_format_unknown")                  \
  X(kResponseChannelNotInXml, "response_channel_not_in_xml")            \
  X(kResponseNothingDescribed, "response_nothing_described")            \
  X(kResponseWithoutPoles, "response_without_poles")                    \
  X(kResponseNotWritten, "response_not_written")                        \
  /* readers' refusals */                                               \
  X(kRefuseNotOpened, "file_not_opened")                                \
  X(kRefuseInRecord, "in_record")                                       \
  X(kRefuseInBlock, "in_block")                                         \
  X(kRefuseInPacket, "in_packet")                                       \
  X(kRefuseInTrace, "in_trace")                                         \
  X(kRefuseInTraceNoByte, "in_trace")                                   \
  X(kRefuseInLine, "in_line")                                           \
  X(kRefuseShorterThanHeader, "shorter_than_header")                    \
  X(kRefuseShorterThanRecordHeader, "shorter_than_header")              \
  X(kRefuseSequenceNotDigits, "sequence_not_digits")                    \
  X(kRefuseQualityIndicator, "quality_indicator")                       \
  X(kRefuseQualityNotBlank, "quality_not_blank")                        \
  X(kRefuseStartNotTime, "start_not_time")                              \
  X(kRefuseStartNotTimeAt, "start_not_time")                            \
  X(kRefuseNoBlockette1000, "no_blockette_1000")                        \
  X(kRefuseNotMiniSeed3, "not_miniseed3")                               \
  X(kRefuseHeaderPastEnd, "header_past_end")                            \
  X(kRefuseLengthsPastEnd, "lengths_past_end")                          \
  X(kRefuseCrcMismatch, "crc_mismatch")                                 \
  X(kRefuseSamplesDoNotFit, "samples_do_not_fit")                       \
  X(kRefuseNoSoundRecord, "no_sound_record")                            \
  X(kRefuseShorterThanBlock, "shorter_than_block")                      \
  X(kRefuseGcfStreamId, "field_out_of_range")                           \
  X(kRefuseGcfTimeOfDay, "field_out_of_range")                          \
  X(kRefuseGcfRecordCount, "field_out_of_range")                        \
  X(kRefuseGcfRateCode, "field_out_of_range")                           \
  X(kRefuseGcfCompression, "field_out_of_range")                        \
  X(kRefuseGcfFraction, "field_out_of_range")                           \
  X(kRefuseGcfNoRecords, "no_data_records")                             \
  X(kRefuseFewGcfBlocks, "few_blocks_of_format")                        \
  X(kRefuseNoSeismicBlock, "no_seismic_block")                          \
  X(kRefuseShorterThanPacket, "shorter_than_packet")                    \
  X(kRefuseShorterThanPacketHead, "shorter_than_packet")                \
  X(kRefusePacketType, "packet_type")                                   \
  X(kRefusePacketNotBcd, "packet_not_bcd")                              \
  X(kRefusePacketTime, "packet_time")                                   \
  X(kRefuseFewReftekPackets, "few_blocks_of_format")                    \
  X(kRefuseShorterThanSacHeader, "shorter_than_header")                 \
  X(kRefuseSacVersion, "header_version")                                \
  X(kRefuseSacNotTimeSeries, "not_time_series")                         \
  X(kRefuseSacUneven, "samples_uneven")                                 \
  X(kRefuseSacNegativeCount, "negative_count")                          \
  X(kRefuseSacDeltaUndefined, "interval_undefined")                     \
  X(kRefuseSacDeltaOutside, "interval_outside")                         \
  X(kRefuseSacTruncated, "samples_missing")                             \
  X(kRefuseSacReferenceTime, "reference_time")                          \
  X(kRefuseShorterThanDescriptor, "shorter_than_header")                \
  X(kRefuseBlockId, "block_id")                                         \
  X(kRefuseBlockIdNoBytes, "block_id")                                  \
  X(kRefuseRevisionZero, "field_zero")                                  \
  X(kRefuseNoTraces, "field_zero")                                      \
  X(kRefusePointerBlockSmall, "pointer_block_small")                    \
  X(kRefusePointerBlockPastEnd, "pointer_block_past_end")               \
  X(kRefuseStringTerminator, "terminator_length")                       \
  X(kRefuseLineTerminator, "terminator_length")                         \
  X(kRefuseDescriptorPastEnd, "descriptor_past_end")                    \
  X(kRefuseBlockSize, "block_size")                                     \
  X(kRefuseDataFormatCode, "data_format_code")                          \
  X(kRefuseNoPositiveKey, "no_positive_key")                            \
  X(kRefusePointerIntoDescriptor, "pointer_into_descriptor")            \
  X(kRefusePointerBeyondEnd, "pointer_beyond_end")                      \
  X(kRefuseTracesDiffer, "traces_differ")                               \
  X(kRefuseKeyNotDate, "key_not_date")                                  \
  X(kRefuseKeyNotTimeOfDay, "key_not_time")                             \
  X(kRefuseWfdiscColumns, "columns_not_numbers")                        \
  X(kRefuseWfdiscRate, "rate_not_positive")                             \
  X(kRefuseWfdiscNegative, "negative_count")                            \
  X(kRefuseNoLine, "no_line")                                           \
  X(kRefuseHeaderFieldNotDateTime, "header_field")                      \
  X(kRefuseHeaderRateNotPositive, "header_field")                       \
  X(kRefuseHeaderChannelsBelowOne, "header_field")                      \
  X(kRefuseHeaderSamplesNegative, "header_field")                       \
  X(kRefuseHeaderDateNotDate, "header_field")                           \
  X(kRefuseHeaderIntervalNotPositive, "header_field")                   \
  X(kRefuseHeaderStartNotTimeOfDay, "header_field")                     \
  X(kRefuseShorterThanChannelHeaders, "shorter_than_header")            \
  X(kRefuseChannelHeaderUnreadable, "channel_header")                   \
  X(kRefuseHeaderRateWordZero, "header_field")                          \
  X(kRefuseHeaderNoChannel, "header_field")                             \
  X(kRefuseRecRate, "header_block")                                     \
  X(kRefuseRecStart, "header_block")                                    \
  X(kRefuseRecBlockSamples, "header_block")                             \
  X(kRefuseRecHeaderCut, "header_block_cut")                            \
  X(kRefuseRecNoHeader, "no_header_block")                              \
  X(kRefuseIssNoFileTime, "no_file_time")                               \
  X(kRefuseIssKeysNotNumbers, "keys_not_numbers")                       \
  X(kRefuseIssNegativeTriggers, "negative_count")                       \
  X(kRefuseIssTriggerKey, "trigger_key")                                \
  X(kRefuseSdasNoHeader, "no_header_section")                           \
  X(kRefuseUgrName, "name_without_start")                               \
  X(kRefuseNoSample, "no_sample")                                       \
  X(kRefuseUgrCounts, "implausible_counts")                             \
  X(kRefuseFileEmpty, "file_empty")                                     \
  X(kRefuseSafFirstLine, "first_line")                                  \
  X(kRefuseSafVersion, "unknown_version")                               \
  X(kRefuseSafNoSeparator, "no_separator")                              \
  X(kRefuseHeaderHasNo, "missing_key")                                  \
  X(kRefuseSafStart, "bad_key")                                         \
  X(kRefuseSafRate, "bad_key")                                          \
  X(kRefuseSafCount, "bad_key")                                         \
  X(kRefuseBlankLineAmongRows, "blank_line")                            \
  X(kRefuseSafRowValue, "row_values")                                   \
  X(kRefuseSafRowValues, "row_values")                                  \
  X(kRefuseSafRowNotNumber, "row_not_number")                           \
  X(kRefuseSafMoreRows, "row_count")                                    \
  X(kRefuseSafRowCount, "row_count")                                    \
  X(kRefuseRowNeedsFrequency, "row_fields")                             \
  X(kRefuseRootNeedsParts, "root_fields")                               \
  X(kRefuseRowCountNotInteger, "row_count")                             \
  X(kRefuseRowCountNotPositive, "row_count")                            \
  X(kRefuseRowCountBeyondFile, "row_count")                             \
  X(kRefuseRowCountAboveLimit, "row_count")                             \
  X(kRefuseNoTableRow, "no_table_row")                                  \
  X(kRefuseSecondLine, "second_line")                                   \
  X(kRefuseKeyNotNumber, "not_a_number")                                \
  X(kRefuseCountOfNotInteger, "not_an_integer")                         \
  X(kRefuseZeroCountRange, "root_count")                                \
  X(kRefusePoleCountRange, "root_count")                                \
  X(kRefuseNoKeyLine, "missing_line")                                   \
  X(kRefuseTooManyResponses, "too_many_responses")                      \
  X(kRefuseTagNotInteger, "not_an_integer")                             \
  X(kRefuseTagNotNumber, "not_a_number")                                \
  X(kRefuseMoreZeros, "root_count")                                     \
  X(kRefuseMorePoles, "root_count")                                     \
  X(kRefuseZeroLineFields, "root_fields")                               \
  X(kRefusePoleLineFields, "root_fields")                               \
  X(kRefuseZeroIndexOutside, "root_index")                              \
  X(kRefusePoleIndexOutside, "root_index")                              \
  X(kRefuseNoChannelDescribed, "no_channel")                            \
  X(kRefuseSeveralChannels, "several_channels")                         \
  X(kRefuseNoSuchChannel, "no_channel")                                 \
  X(kRefuseChannelEpochs, "several_epochs")                             \
  X(kRefuseNoEpochCovers, "no_epoch")                                   \
  X(kRefuseEpoch, "epoch")                                              \
  X(kRefuseOpenEpoch, "epoch")                                          \
  X(kRefuseGse2Calibration, "field")                                    \
  X(kRefuseGse2Period, "field")                                         \
  X(kRefuseGse2On, "field")                                             \
  X(kRefuseGse2Off, "field")                                            \
  X(kRefuseGse2Stage, "field")                                          \
  X(kRefuseGse2PoleCount, "field")                                      \
  X(kRefuseGse2ZeroCount, "field")                                      \
  X(kRefuseFieldNotNumber, "not_a_number")                              \
  X(kRefuseFieldNotInteger, "not_an_integer")                           \
  X(kRefuseFieldDate, "bad_date")                                       \
  X(kRefuseFieldTime, "bad_time")                                       \
  X(kRefuseCal2Fields, "cal2_fields")                                   \
  X(kRefuseCalibrationZero, "calibration_zero")                         \
  X(kRefuseCalibrationPeriod, "calibration_period")                     \
  X(kRefuseMoreZerosAfter, "root_count")                                \
  X(kRefuseMorePolesAfter, "root_count")                                \
  X(kRefuseEndsInsidePaz2, "ends_inside_stage")                         \
  X(kRefuseUnitNotGround, "unit_not_ground")                            \
  X(kRefuseUnitNeedsPoles, "unit_needs_poles")                          \
  X(kRefuseUnitOnePole, "unit_root_count")                              \
  X(kRefuseUnitOneZero, "unit_root_count")                              \
  /* projects, runs and edits */                                        \
  X(kReasonText, "reason_text")                                         \
  X(kLines, "lines")                                                    \
  X(kStationReason, "station_reason")                                   \
  X(kCutInsideSectionNoKey, "cut_inside_line")                          \
  X(kRecordValuesMissing, "record_values_missing")                      \
  X(kRecordSectionMissing, "record_section_missing")                    \
  X(kSectionBeyondRecords, "section_beyond_records")                    \
  X(kCannotSaveProject, "cannot_save_project")                          \
  X(kCannotReplaceProject, "cannot_replace_file")                       \
  X(kRecordsNotComputed, "records_not_computed")                        \
  X(kSummaryRecord, "summary_record")                                   \
  X(kRemarks, "remarks")                                                \
  X(kNothingCheckedHow, "no_record_checked")                            \
  X(kNothingCheckedFrom, "no_record_checked")                           \
  X(kResponsesNotSetHint, "responses_not_set")                          \
  X(kAmplitudeSpectrumFileMissing, "amplitude_spectrum_missing")        \
  X(kSameResultFileQuestion, "same_result_file")                        \
  X(kSkippedSpectraFailed, "skipped_spectra_failed")                    \
  X(kIntervalShorterThanWindow, "interval_shorter_than_window")         \
  X(kNoF0EarlierFilesKept, "no_f0")                                     \
  X(kNoF0NothingWritten, "no_f0")                                       \
  X(kLevelOutOfRange, "level_out_of_range")                             \
  X(kComponentNotEnz, "bad_component")                                  \
  X(kNoChannelChosen, "no_channel_chosen")                              \
  X(kLinesCopied, "lines_copied")                                       \
  X(kChannelFilesApart, "channels_not_joined")                          \
  X(kChannelsNotJoinable, "channels_not_joined")                        \
  X(kNoStationForChannel, "no_free_station")                            \
  X(kNoStationForCopy, "no_free_station")                               \
  X(kTakesChannelsOf, "takes_channels_of")                              \
  X(kXmlChannelNoMatch, "xml_channel_no_match")                         \
  X(kXmlChannelSeveral, "xml_channel_several")                          \
  X(kHvsrGridEnds, "hvsr_grid_ends")                                    \
  X(kHvsrGridPoints, "hvsr_grid_points")                                \
  X(kHvsrBandwidth, "hvsr_bandwidth")                                   \
  X(kHvsrRejectionN, "hvsr_rejection_n")                                \
  X(kHvsrSearchBand, "hvsr_search_band")                                \
  X(kHvsrSettingsProblem, "hvsr_settings")                              \
  X(kSettingOfEvents, "event_setting")                                  \
  X(kNoSuchSetting, "no_such_setting")                                  \
  X(kSettingNotFlag, "setting_not_flag")                                \
  X(kSettingNotNumber, "setting_not_number")                            \
  X(kSettingOutside, "setting_outside")                                 \
  X(kSettingRange, "setting_range")                                     \
  X(kSettingRangeStep, "setting_range_step")                            \
  X(kFilterCorners, "filter_corners")                                   \
  X(kFilterCornersNyquist, "filter_corners")                            \
  X(kGuideNotFound, "guide_not_found")                                  \
  X(kNoPdfViewer, "no_pdf_viewer")                                      \
  X(kNoSensorFiles, "no_response_files")                                \
  X(kNoAmplifierFiles, "no_response_files")                             \
  X(kNoChannelFiles, "no_response_files")                               \
  X(kNoResponseFiles, "no_response_files")                              \
  X(kNoResultFile, "result_not_found")                                  \
  X(kPrimaryTab, "primary_tab")                                         \
  X(kHVTab, "hv_tab")                                                   \
  X(kFileDoesNotExist, "file_does_not_exist")                           \
  X(kLoadingSpectra, "loading_spectra")                                 \
  X(kSpectraLoaded, "spectra_loaded")                                   \
  X(kChangedOnDisk, "changed_on_disk")                                  \
  X(kKindAmplitude, "kind")                                             \
  X(kKindPower, "kind")                                                 \
  X(kKindHvRatio, "kind")                                               \
  X(kKindRelative, "kind")                                              \
  X(kKindSpectrum, "kind")                                              \
  X(kFilesOfDifferentKinds, "kinds_differ")                             \
  X(kHvsrNeedsEnz, "hvsr_needs_enz")                                    \
  X(kHvsrGridOutsideLines, "hvsr_grid_outside")                         \
  X(kHvsrRowsMissing, "hvsr_rows")                                      \
  X(kHvsrRowsDiffer, "hvsr_rows")                                       \
  X(kHvsrSameChainNeeded, "hvsr_same_chain")                            \
  X(kHvsrAzimuthStep, "hvsr_azimuth_step")                              \
  X(kVerdictNoGridPoint, "no_f0")                                       \
  X(kVerdictNoWindow, "no_f0")                                          \
  X(kVerdictNoUsableWindow, "no_f0")                                    \
  X(kVerdictOneUsableWindow, "no_f0")                                   \
  X(kVerdictNoWindowPeak, "no_f0")                                      \
  X(kVerdictAllRejected, "no_f0")                                       \
  X(kVerdictNoMeanPeak, "no_f0")                                        \
  X(kVerdictOneKept, "no_f0")                                           \
  /* spectra, H/V and viewers */                                        \
  X(kHvFileEmpty, "file_empty")                                         \
  X(kHvWindowsHeader, "hv_windows_header")                              \
  X(kHvGridNotPositive, "hv_grid_not_positive")                         \
  X(kHvGridNotIncreasing, "hv_grid_not_increasing")                     \
  X(kHvWindowNumber, "hv_window_number")                                \
  X(kHvFirstSample, "hv_first_sample")                                  \
  X(kHvWindowStart, "hv_window_start")                                  \
  X(kHvWindowFate, "hv_window_fate")                                    \
  X(kHvWindowF0, "hv_window_f0")                                        \
  X(kHvFieldNotNumber, "not_a_number")                                  \
  X(kJsonTooDeep, "json_too_deep")                                      \
  X(kNotJson, "not_json")                                               \
  X(kJsonDocument, "json_document")                                     \
  X(kJsonNotObject, "json_not_object")                                  \
  X(kJsonMissingKey, "json_missing_key")                                \
  X(kJsonNotNumber, "json_not_number")                                  \
  X(kJsonNotCount, "json_not_count")                                    \
  X(kJsonNotBool, "json_not_bool")                                      \
  X(kJsonNotString, "json_not_string")                                  \
  X(kJsonNotObjectOrNull, "json_not_object_or_null")                    \
  X(kHvCriteriaList, "hv_criteria_list")                                \
  X(kHvValueNotNull, "hv_value_not_null")                               \
  X(kHvPassedCount, "hv_passed_count")                                  \
  X(kHvWindowTotals, "hv_window_totals")                                \
  X(kHvF0Spread, "hv_f0_spread")                                        \
  X(kFileTooLargeBytes, "file_too_large")                               \
  X(kHvSeriesNoList, "hv_series_no_list")                               \
  X(kHvSeriesNoMap, "hv_series_no_map")                                 \
  X(kHvSeriesItemNotObject, "hv_series_item")                           \
  X(kHvSeriesNoPlace, "hv_series_no_place")                             \
  X(kHvSeriesNoFrequencies, "hv_series_no_frequencies")                 \
  X(kHvSeriesBadFrequencies, "hv_series_bad_frequencies")               \
  X(kHvSeriesCurveCount, "hv_series_curve_count")                       \
  X(kHvSeriesCurveLength, "hv_series_curve_length")                     \
  X(kHvSeriesNotNumber, "hv_series_not_number")                         \
  X(kFileTooLargeNoLimit, "file_too_large")                             \
  X(kFileSays, "file_damaged")                                          \
  X(kHvOtherGrid, "hv_other_grid")                                      \
  X(kHvOtherWindowCount, "hv_other_window_count")                       \
  X(kWindowCurvesNotShown, "window_curves_not_shown")                   \
  X(kOnlyHvShown, "only_hv_shown")                                      \
  X(kHvsrLeftOut, "hvsr_left_out")                                      \
  X(kHvsrLeftOutTwo, "hvsr_left_out")                                   \
  X(kJoinedComma, "joined")                                             \
  X(kJoinedSemicolon, "joined")                                         \
  X(kAtStation, "at_station")                                           \
  X(kResultFieldNotNumber, "not_a_number")                              \
  X(kPsdRun, "psd_run")                                                 \
  X(kPsdLoading, "psd_loading")                                         \
  X(kPsdSegments, "psd_segments")                                       \
  X(kMoreFieldsThanFirstRow, "field_count")                             \
  X(kNeedFrequencyAndPairs, "field_count")                              \
  X(kTooManyPairs, "too_many_pairs")                                    \
  X(kFrequencyNotANumber, "not_a_number")                               \
  X(kFrequencyDecreases, "frequency_decreases")                         \
  X(kNoDataRows, "no_data_rows")                                        \
  X(kHeaderColumnCount, "field_count")                                  \
  X(kPairsInsteadOfThree, "field_count")                                \
  X(kNoThreeComponents, "no_three_components")                          \
  X(kColumnsDifferLeftOut, "columns_differ")                            \
  /* the command line */                                                \
  X(kCliNothingToAdd, "nothing_to_add")                                 \
  X(kCliSdsNeedsStations, "sds_needs_stations")                         \
  X(kCliNotStationCode, "not_a_station")                                \
  X(kCliNotDay, "not_a_date")                                           \
  X(kCliDaysNeedSds, "days_need_sds")                                   \
  X(kCliProjectComesFirst, "project_comes_first")                       \
  X(kCliProjectNotSeismogram, "project_comes_first")                    \
  X(kCliNotAdded, "not_added")                                          \
  X(kCliNothingAddedKept, "nothing_added")                              \
  X(kCliNothingAddedNotCreated, "nothing_added")                        \
  X(kCliProjectRecords, "project_records")                              \
  X(kCliAverageWritten, "average_written")                              \
  X(kCliMedianWritten, "average_written")                               \
  X(kCliIntegralOfRatios, "integral_not_power")                         \
  X(kCliIntegralOfAmplitudes, "integral_not_power")                     \
  X(kCliIntegralOfSpectra, "integral_not_power")                        \
  X(kCliValueColumns, "value_columns")                                  \
  X(kCliRecordOptionForProject, "record_option_for_project")            \
  X(kCliOutputRequired, "output_required")                              \
  X(kCliOutputForFile, "output_for_file")                               \
  X(kCliNoSuchRecord, "no_such_record")                                 \
  X(kCliRecordNotCompressed, "record_not_compressed")                   \
  X(kCliGridNotWhole, "grid_not_whole")                                 \
  X(kCliNotDuration, "not_a_duration")                                  \
  X(kCliProjectHasNoRecords, "no_records")                              \
  X(kCliNameTheRecords, "no_record_chosen")                             \
  X(kCliNoRecordChosen, "no_record_chosen")                             \
  X(kCliNotRun, "not_run")                                              \
  X(kCliStopped, "stopped")                                             \
  X(kCliNoChartRendering, "no_rendering")                               \
  X(kCliChartsNotDrawn, "no_rendering")                                 \
  X(kCliNoiseModelsNotPower, "noise_models_not_power")                  \
  X(kCliNoiseModelsNoPower, "noise_models_not_power")                   \
  X(kCliImageNotWritten, "image_not_written")                           \
  X(kCliPreviewNotBuilt, "no_rendering")                                \
  X(kCliPsdStopped, "stopped")                                          \
  X(kCliPsdSummary, "psd_summary")                                      \
  X(kCliNotTime, "not_a_time")                                          \
  X(kCliNoPsdStore, "no_psd_store")                                     \
  X(kCliChannelNotStored, "channel_not_stored")                         \
  X(kCliChannelNotStoredHolds, "channel_not_stored")                    \
  X(kCliStoreHoldsNoPsd, "no_psd_store")                                \
  X(kCliNameTheChannel, "channel_not_chosen")                           \
  X(kCliNoSegmentMatches, "no_segment_matches")                         \
  X(kCliStatsSegments, "stats_segments")                                \
  X(kCliWritten, "written")                                             \
  X(kCliTakenAsVelocity, "taken_as_velocity")                           \
  X(kCliFlatResponse, "flat_response")                                  \
  X(kCliRecordNote, "record_note")                                      \
  X(kCliRecordNoResult, "record_failed")                                \
  X(kCliRecordNoResultWhy, "record_failed")                             \
  X(kCliRecordSays, "record_error")                                     \
  X(kCliSegmentsOfRecord, "segments_of_records")                        \
  X(kCliSegmentsOfRecords, "segments_of_records")                       \
  X(kCliRecordsFailed, "records_failed")                                \
  X(kCliCheckForSpectra, "nothing_checked")                             \
  X(kCliCheckForHv, "nothing_checked")                                  \
  X(kCliRecordUnreadable, "record_unreadable")                          \
  X(kCliScanRecord, "record")                                           \
  X(kCliFieldStation, "station")                                        \
  X(kCliFieldFile, "file")                                              \
  X(kCliFieldStart, "start")                                            \
  X(kCliFieldFinish, "finish")                                          \
  X(kCliFieldRate, "rate")                                              \
  X(kCliFieldRecordSamples, "samples")                                  \
  X(kCliFieldChannels, "channels")                                      \
  X(kCliFieldFormat, "format")                                          \
  X(kCliFieldFileSamples, "samples")                                    \
  X(kCliFieldHeld, "samples_held")                                      \
  X(kCliFieldBlocks, "blocks")                                          \
  X(kCliUnknownFormat, "unknown_format")                                \
  X(kCliNoRecordFormed, "no_record_formed")                             \
  X(kCliNoValidRecord, "no_valid_record")                               \
  X(kCliNoValidRecordOf, "no_valid_record")                             \
  X(kCliFilesUnreadable, "files_unreadable")                            \
  X(kCliNoSuchFile, "file_not_found")                                   \
  X(kCliNotSeismogram, "not_recognised")                                \
  X(kCliFormatUnreadable, "files_unreadable")                           \
  X(kCliNotReadAs, "file_not_read")                                     \
  X(kCliShowProject, "project")                                         \
  X(kCliShowResults, "results")                                         \
  X(kCliShowGeneralOn, "general")                                       \
  X(kCliShowGeneralOff, "general")                                      \
  X(kCliSpectraRun, "spectra_run")                                      \
  X(kCliSpectraRunReady, "spectra_run")                                 \
  X(kCliHvRun, "hv_run")                                                \
  X(kCliHvRunReady, "hv_run")                                           \
  X(kCliHvEntry, "hv_entry")                                            \
  X(kCliStopsSpectraRun, "stops_run")                                   \
  X(kCliStopsHvRun, "stops_run")                                        \
  X(kCliRecordFile, "record_file")                                      \
  X(kCliSegmentsOf, "segments")                                         \
  X(kCliChannelFields, "channel")                                       \
  X(kCliChannelResponse, "channel_response")                            \
  X(kCliSensorResponse, "sensor_response")                              \
  X(kCliAmplifierResponse, "amplifier_response")                        \
  X(kCliMicroseismSettings, "settings")                                 \
  X(kCliEventSettings, "settings")                                      \
  X(kCliSegmentLength, "segment_length")                                \
  X(kCliZeroFilled, "segment_length")                                   \
  X(kCliSilenceRounded, "segment_length")                               \
  X(kCliNoSegmentAt, "no_segment")                                      \
  X(kCliOutputIsFolder, "output_is_folder")                             \
  X(kCliOutputIsAnInput, "output_is_input")                             \
  X(kCliOutputIsTheInput, "output_is_input")                            \
  X(kCliOutputExists, "output_exists")                                  \
  X(kCliLaterVersion, "later_version")                                  \
  X(kCliUnitLabelledAsSaid, "unit_not_known")                           \
  X(kCliUnitLabelled, "unit_not_known")                                 \
  X(kCliMarkSpectra, "mark_spectra")                                    \
  X(kCliMarkHv, "mark_hv")                                              \
  X(kCliResponsesIncomplete, "responses_incomplete")                    \
  X(kCliKindAmplitude, "kind")                                          \
  X(kCliKindPower, "kind")                                              \
  X(kCliKindHv, "kind")                                                 \
  X(kCliKindRelative, "kind")                                           \
  X(kCliKindSpectra, "kind")                                            \
  X(kCliOrigin, "origin")                                               \
  X(kCliKindsDiffer, "kinds_differ")                                    \
  X(kCliHvDoesNotApply, "flag_does_not_apply")                          \
  X(kCliPowerDoesNotApply, "flag_does_not_apply")                       \
  X(kCliUnitDoesNotApply, "flag_does_not_apply")                        \
  X(kCliUnitsDiffer, "units_differ")                                    \
  X(kCliUnitRelabelled, "unit_differs")                                 \
  X(kCliProjectSavedAfter, "unit_not_known")                            \
  X(kCliNoProjectComputes, "unit_not_known")                            \
  X(kCliNoSuchFileOrFolder, "no_such_file")                             \
  X(kCliNoSuchFolder, "no_such_file")                                   \
  X(kCliNoSeismogramFiles, "no_seismogram_files")                       \
  X(kCliNoFilesOfFormat, "no_seismogram_files")                         \
  X(kCliPathCharacter, "path_not_in_cp1251")                            \
  X(kCliNoDayFiles, "no_day_files")                                     \
  X(kCliFormatNotReadable, "format_not_readable")                       \
  X(kCliHeaderUnreadable, "header_unreadable")                          \
  X(kCliHeaderWithoutRate, "no_sampling_rate")                          \
  X(kCliBecause, "joined")                                              \
  X(kCliComputeSpectraFirst, "compute_spectra_first")                   \
  X(kCliThen, "joined")                                                 \
  X(kCliUnexpectedArgument, "unexpected_argument")                      \
  X(kCliUnexpectedArguments, "unexpected_argument")                     \
  X(kCliValuesMissing, "option_needs_value")                            \
  X(kCliValuesAtLeast, "option_value_count")                            \
  X(kCliValuesAtMost, "option_value_count")                             \
  X(kCliValuesExactly, "option_value_count")                            \
  X(kCliRequired, "option_required")                                    \
  X(kCliCommandRequired, "command_required")                            \
  X(kCliExactlyOneOf, "option_required")                                \
  X(kCliAtLeastOneOf, "option_required")                                \
  X(kCliRequires, "option_requires")                                    \
  X(kCliExcludes, "option_excludes")                                    \
  X(kCliNotConverted, "not_a_number")                                   \
  X(kCliValueNotAllowed, "value_not_allowed")                           \
  X(kCliNotMember, "value_not_allowed")                                 \
  X(kCliNotInRange, "value_out_of_range")                               \
  X(kCliNotPositive, "value_out_of_range")                              \
  X(kCliUsageError, "usage_error")                                      \
  X(kCliRunWithHelp, "run_with_help")                                   \
  X(kCliNotRecordRange, "not_a_record")                                 \
  X(kCliRecordHasChannels, "no_such_channel")                           \
  X(kCliNotKeyValue, "not_key_value")                                   \
  /* noise statistics */                                                \
  X(kPsdSegmentNotPositive, "psd_settings_refused")                     \
  X(kPsdOverlapOutOfRange, "psd_settings_refused")                      \
  X(kPsdNoSamplingRate, "psd_no_sampling_rate")                         \
  X(kPsdSegmentTooShort, "psd_segment_too_short")                       \
  X(kPsdAt, "psd_at")                                                   \
  X(kPsdRecordLabel, "psd_record_label")                                \
  X(kPsdNoResponse, "psd_no_response")                                  \
  X(kPsdNoSensorResponse, "psd_response_incomplete")                    \
  X(kPsdNoAmplifierResponse, "psd_response_incomplete")                 \
  X(kPsdNoChannelSelected, "psd_no_channel_selected")                   \
  X(kPsdSelectionTooShort, "psd_selection_too_short")                   \
  X(kPsdRecordUnreadable, "psd_record_unreadable")                      \
  X(kPsdRateDiffers, "psd_rate_differs")                                \
  X(kPsdStoreDamagedKept, "psd_store_damaged")                          \
  X(kPsdStoreDamagedLeftOut, "psd_store_damaged")                       \
  X(kPsdStoreOtherSettings, "psd_store_other_settings")                 \
  X(kPsdStoreNotOpened, "psd_store_unreadable")                         \
  X(kPsdStoreTooShort, "psd_store_damaged")                             \
  X(kPsdStoreNotPsd, "psd_store_not_psd")                               \
  X(kPsdStoreVersion, "psd_store_version")                              \
  X(kPsdStoreWindowLines, "psd_store_damaged")                          \
  X(kPsdStoreSettings, "psd_store_damaged")                             \
  X(kPsdStoreCount, "psd_store_damaged")                                \
  X(kPsdStoreEndsInHeader, "psd_store_damaged")                         \
  X(kPsdStoreSize, "psd_store_damaged")                                 \
  X(kPsdStoreTexts, "psd_store_damaged")                                \
  X(kPsdStoreUnreadable, "psd_store_damaged")                           \
  X(kPsdStorePeriods, "psd_store_damaged")                              \
  X(kPsdStoreStarts, "psd_store_damaged")                               \
  X(kPsdNotRange, "psd_not_range")                                      \
  X(kPsdOutsideRange, "psd_outside_range")                              \
  X(kPsdHour24, "psd_hour_24")                                          \
  X(kPsdUnknownZone, "psd_unknown_zone")                                \
  X(kPsdNoRecordChecked, "psd_no_record_checked")                       \
  X(kPsdRunStoppedNote, "psd_run_stopped")                              \
  X(kPsdRunDoneNote, "psd_run_done")                                    \
  X(kPsdRunSummary, "psd_run_summary")                                  \
  /* console answers */                                                 \
  X(kAnswerYes, "answer_yes")                                           \
  X(kAnswerNo, "answer_no")                                             \
  X(kAnswerPrompt, "answer_prompt")

enum class TCode {
#define TARVIK_CODE_ENUM(code, name) code,
  TARVIK_MESSAGE_CODES(TARVIK_CODE_ENUM)
#undef TARVIK_CODE_ENUM
      kCount
};

enum class TLanguage { kRussian, kEnglish };

struct TStatus;

// One argument of a status: a text (a number, a name, a path, as the data has it) or a nested
// status (a reason), told in the language of the status that holds it.
struct TArg {
  TArg(std::string text) : Text(std::move(text)) {}
  TArg(const char* text) : Text(text) {}
  TArg(std::string_view text) : Text(text) {}
  TArg(const TStatus& status);

  std::string Text;
  std::shared_ptr<const TStatus> Nested;

  bool operator==(const TArg& other) const;
};

// What an operation reports: a code, its arguments, and where it applies when known.
struct TStatus {
  TCode Code = TCode::kOk;
  std::vector<TArg> Args;
  std::string File;     // the file concerned, "" when none
  int64_t Line = -1;    // 1-based line, -1 when none
  int64_t Offset = -1;  // byte offset, -1 when none
  int Record = -1;      // 0-based record index, -1 when none
  int Channel = -1;     // 0-based channel index, -1 when none

  bool Ok() const { return Code == TCode::kOk; }
};

TStatus MakeStatus(TCode code, std::vector<TArg> args = {});

// The pattern of code in the catalogue of language, with {1}, {2}, ... for the arguments.
std::string_view CatalogueText(TCode code, TLanguage language);
// The stable name of code that JSON output carries ("file_not_found").
std::string_view CodeName(TCode code);

// status rendered in language: the catalogue's pattern with the arguments put in.
std::string Text(const TStatus& status, TLanguage language);

// The language of the locale: LC_ALL, else LC_MESSAGES, else LANG (the first set and
// non-empty) beginning with "ru" is Russian, anything else English.
TLanguage LanguageFromLocale(const char* lc_all, const char* lc_messages, const char* lang);
// "ru" or "en", as --lang takes them; nullopt otherwise.
std::optional<TLanguage> ParseLanguage(std::string_view name);

}  // namespace tarvik
