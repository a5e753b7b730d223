#pragma once

// The charts of the H/V statistics through time and by direction show what the readers of
// "STEM_time.json" and "STEM_azimuths.json" (spectral/hvsr_files.h) take from those files: f0
// with its ±σf band over time (or over azimuth), and the mean H/V curves as a colour map over
// time (or azimuth) and frequency.

#include "spectral/hvsr_files.h"
