// The track map of the HTML page: the runs' positions drawn in one <svg>
// element, without map tiles, so that the page stays one offline file.
//
// Projection: equirectangular, x = longitude x cos(mean latitude), y =
// latitude, scaled alike, so that distances read the same east-west and
// north-south near the runs (good over the few kilometres of a drive test).
// The route is a line through the positions of the runs with a start time,
// in the order of their starts; each distinct position is a point per
// outcome found there, coloured by outcome, its counts as a tooltip.  A
// scale bar (a round distance) and a north arrow go in the corners.
#pragma once

#include <string>
#include <vector>

#include "tools/report/kpi.h"

namespace smstest {

// The colour of an outcome on the map.
const char* outcome_colour(Outcome outcome);

// "" when `positions` is empty: the map is left out.
std::string track_map(const std::vector<PositionPoint>& positions);

// A round distance for a scale bar at most `maxMetres` long: 1, 2 or 5
// times a power of ten metres; its label ("500 m", "2 km").
double scale_bar_metres(double maxMetres);
std::string distance_label(double metres);

}  // namespace smstest
