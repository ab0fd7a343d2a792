// String numbers the frame uses.
#pragma once

#include "resources/resource_ids.h"

namespace kestrune::app {

// Strings.
inline constexpr unsigned IDS_ALREADY_RUNNING = 296;
inline constexpr unsigned IDS_NORVASSE = 297;
inline constexpr unsigned IDS_SHEET_CONSTRUCT_FAILED = 299;
inline constexpr unsigned IDS_ABOUT_PREFIX = 351;
inline constexpr unsigned IDS_FRAME_TITLE = 1500;
inline constexpr unsigned IDS_APP_TITLE = 57344;

}  // namespace kestrune::app
