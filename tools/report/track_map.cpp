#include "tools/report/track_map.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <utility>

#include "common/text.h"
#include "tools/report/svg.h"

namespace smstest {

namespace {

constexpr double kWidth = 720;
constexpr double kHeight = 480;
constexpr double kMargin = 40;
constexpr double kMetresPerDegree = 111320;  // along a meridian, about
// Extent of the map when all positions are (nearly) one place, in degrees
// of latitude (about 500 m).
constexpr double kMinExtent = 0.0045;
constexpr double kPi = 3.14159265358979323846;

const Outcome kOutcomes[] = {
    Outcome::kCompleted,     Outcome::kReply,      Outcome::kCompletionFailure, Outcome::kNoReply,
    Outcome::kAccessFailure, Outcome::kNotOffered, Outcome::kTestSystemFailure};

const char* outcome_label(Outcome outcome) {
  switch (outcome) {
    case Outcome::kCompleted:
      return "completed";
    case Outcome::kReply:
      return "reply";
    case Outcome::kCompletionFailure:
      return "not received intact";
    case Outcome::kNoReply:
      return "no reply";
    case Outcome::kAccessFailure:
      return "not sent";
    case Outcome::kNotOffered:
      return "not offered";
    case Outcome::kTestSystemFailure:
      return "test system failure";
  }
  return "";
}

// The map's projection: degrees to picture coordinates.
struct Projection {
  double lonScale = 1;  // cos of the mean latitude
  double xCentre = 0, yCentre = 0;
  double pixelsPerDegree = 1;
  double x(double longitude) const {
    return kWidth / 2 + (longitude * lonScale - xCentre) * pixelsPerDegree;
  }
  double y(double latitude) const { return kHeight / 2 - (latitude - yCentre) * pixelsPerDegree; }
};

Projection fit(const std::vector<PositionPoint>& positions) {
  double latSum = 0;
  double latLow = 90, latHigh = -90, lonLow = 180, lonHigh = -180;
  for (const PositionPoint& p : positions) {
    latSum += p.latitude;
    latLow = std::min(latLow, p.latitude);
    latHigh = std::max(latHigh, p.latitude);
    lonLow = std::min(lonLow, p.longitude);
    lonHigh = std::max(lonHigh, p.longitude);
  }
  Projection proj;
  const double meanLat = latSum / static_cast<double>(positions.size());
  proj.lonScale = std::max(0.01, std::cos(meanLat * kPi / 180));
  const double xLow = lonLow * proj.lonScale, xHigh = lonHigh * proj.lonScale;
  proj.xCentre = (xLow + xHigh) / 2;
  proj.yCentre = (latLow + latHigh) / 2;
  const double spanX = std::max(xHigh - xLow, kMinExtent);
  const double spanY = std::max(latHigh - latLow, kMinExtent);
  proj.pixelsPerDegree =
      std::min((kWidth - 2 * kMargin) / spanX, (kHeight - 2 * kMargin - 20) / spanY);
  return proj;
}

void draw_route(Svg* svg, const std::vector<PositionPoint>& positions, const Projection& proj) {
  std::vector<std::pair<double, double>> route;
  for (const PositionPoint& p : positions) {
    if (std::isnan(p.start)) continue;
    std::pair<double, double> at(proj.x(p.longitude), proj.y(p.latitude));
    if (route.empty() || route.back() != at) route.push_back(at);
  }
  if (route.size() >= 2) svg->polyline(route, "#888", 2);
}

// A point per outcome at each distinct position, with its counts.
void draw_points(Svg* svg, const std::vector<PositionPoint>& positions, const Projection& proj) {
  std::map<std::pair<double, double>, std::map<Outcome, long long>> at;
  for (const PositionPoint& p : positions) ++at[{p.latitude, p.longitude}][p.outcome];
  for (const auto& place : at) {
    const double x = proj.x(place.first.second);
    const double y = proj.y(place.first.first);
    std::string tip = format("%.6f, %.6f:", place.first.first, place.first.second);
    for (const auto& outcome : place.second) {
      tip += format(" %lld ", outcome.second) + outcome_label(outcome.first) + ',';
    }
    tip.pop_back();
    // Failures drawn last, on top; offset a little so that each shows.
    double offset = 0;
    for (Outcome o : kOutcomes) {
      auto it = place.second.find(o);
      if (it == place.second.end()) continue;
      const double r = std::min(9.0, 3.5 + std::sqrt(static_cast<double>(it->second)) * 0.8);
      svg->circle(x + offset, y, r, outcome_colour(o), tip);
      offset += 4;
    }
  }
}

void draw_scale_and_north(Svg* svg, const Projection& proj) {
  const double metresPerPixel = kMetresPerDegree / proj.pixelsPerDegree;
  const double metres = scale_bar_metres(metresPerPixel * kWidth / 4);
  const double length = metres / metresPerPixel;
  const double x0 = kMargin, y0 = kHeight - 18;
  svg->line(x0, y0, x0 + length, y0, "#222", 2);
  svg->line(x0, y0 - 5, x0, y0 + 1, "#222", 2);
  svg->line(x0 + length, y0 - 5, x0 + length, y0 + 1, "#222", 2);
  svg->text(x0 + length / 2, y0 - 7, distance_label(metres), Svg::Anchor::kMiddle, 11);
  const double nx = kWidth - 30, ny = 28;
  svg->polygon({{nx, ny - 14}, {nx - 7, ny + 8}, {nx, ny + 3}, {nx + 7, ny + 8}}, "#222");
  svg->text(nx, ny + 22, "N", Svg::Anchor::kMiddle, 12);
}

void draw_legend(Svg* svg, const std::vector<PositionPoint>& positions) {
  std::map<Outcome, long long> counts;
  for (const PositionPoint& p : positions) ++counts[p.outcome];
  double x = kMargin;
  double y = 14;
  for (Outcome o : kOutcomes) {
    auto it = counts.find(o);
    if (it == counts.end()) continue;
    const std::string label = std::string(outcome_label(o)) + format(" (%lld)", it->second);
    const double width = 30 + 6.5 * static_cast<double>(label.size());
    // A second row rather than a label past the north arrow.
    if (x > kMargin && x + width > kWidth - 2 * kMargin) {
      x = kMargin;
      y += 18;
    }
    svg->circle(x + 5, y, 5, outcome_colour(o));
    svg->text(x + 14, y + 4, label, Svg::Anchor::kStart, 11);
    x += width;
  }
}

}  // namespace

const char* outcome_colour(Outcome outcome) {
  switch (outcome) {
    case Outcome::kCompleted:
    case Outcome::kReply:
      return "#2ca02c";
    case Outcome::kCompletionFailure:
      return "#ff7f0e";
    case Outcome::kNoReply:
      return "#9467bd";
    case Outcome::kAccessFailure:
      return "#d62728";
    case Outcome::kNotOffered:
    case Outcome::kTestSystemFailure:
      break;
  }
  return "#7f7f7f";
}

double scale_bar_metres(double maxMetres) {
  if (!(maxMetres > 0)) return 1;
  const double power = std::pow(10, std::floor(std::log10(maxMetres)));
  for (double m : {5.0, 2.0, 1.0}) {
    if (m * power <= maxMetres) return m * power;
  }
  return power;
}

std::string distance_label(double metres) {
  if (metres >= 1000) return format("%g km", metres / 1000);
  return format("%g m", metres);
}

std::string track_map(const std::vector<PositionPoint>& positions) {
  if (positions.empty()) return "";
  const Projection proj = fit(positions);
  Svg svg(kWidth, kHeight, "Track map: positions of the runs, coloured by outcome");
  svg.rect(0.5, 0.5, kWidth - 1, kHeight - 1, "#fafafa");
  draw_route(&svg, positions, proj);
  draw_points(&svg, positions, proj);
  draw_scale_and_north(&svg, proj);
  draw_legend(&svg, positions);
  return svg.str();
}

}  // namespace smstest
