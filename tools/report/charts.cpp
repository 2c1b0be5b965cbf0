#include "tools/report/charts.h"

#include <algorithm>
#include <cmath>

#include "common/text.h"
#include "tools/report/svg.h"
#include "tools/report/table_writer.h"
#include "tools/report/utf8_text.h"

namespace smstest {

namespace {

constexpr double kWidth = 720;
constexpr double kHeight = 320;
// Without red, which marks failures.
const char* const kPalette[] = {"#1f77b4", "#ff7f0e", "#2ca02c", "#9467bd", "#8c564b",
                                "#e377c2", "#17becf", "#bcbd22", "#7f7f7f", "#393b79"};

// The plot area of a chart and the mapping of values into it.
struct Frame {
  double left = 60, top = 20, right = kWidth - 20, bottom = kHeight - 45;
  double xLow = 0, xHigh = 1, yLow = 0, yHigh = 1;
  double x(double v) const { return left + (v - xLow) / (xHigh - xLow) * (right - left); }
  double y(double v) const { return bottom - (v - yLow) / (yHigh - yLow) * (bottom - top); }
};

std::string tick_label(double v, double step) {
  int decimals = step >= 1 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
  return format("%.*f", std::min(decimals, 6), v);
}

// Grid, ticks and titles of both axes.
void draw_axes(Svg* svg, const Frame& f, const std::string& xTitle, const std::string& yTitle,
               bool yPercent = false) {
  std::vector<double> xs = axis_ticks(f.xLow, f.xHigh, 8);
  std::vector<double> ys = axis_ticks(f.yLow, f.yHigh, 5);
  double xStep = xs.size() > 1 ? xs[1] - xs[0] : 1;
  double yStep = ys.size() > 1 ? ys[1] - ys[0] : 1;
  for (double v : ys) {
    svg->line(f.left, f.y(v), f.right, f.y(v), "#ddd");
    std::string label = yPercent ? format("%.0f%%", v * 100) : tick_label(v, yStep);
    svg->text(f.left - 6, f.y(v) + 4, label, Svg::Anchor::kEnd, 11);
  }
  for (double v : xs) {
    svg->line(f.x(v), f.bottom, f.x(v), f.bottom + 4, "#444");
    svg->text(f.x(v), f.bottom + 17, tick_label(v, xStep), Svg::Anchor::kMiddle, 11);
  }
  svg->line(f.left, f.bottom, f.right, f.bottom, "#444");
  svg->line(f.left, f.top, f.left, f.bottom, "#444");
  svg->text((f.left + f.right) / 2, kHeight - 8, xTitle, Svg::Anchor::kMiddle, 12);
  svg->vertical_text(14, (f.top + f.bottom) / 2, yTitle, 12);
}

// The legend label of a group: its key shortened to `chars`, the full key
// as the tooltip when shortened.
void legend_label(Svg* svg, double x, double y, const std::string& key, const std::string& suffix,
                  size_t chars) {
  const std::string full = display_key(key);
  const std::string shown = utf8_prefix(full, chars);
  svg->text(x, y, shown + suffix, Svg::Anchor::kStart, 11, "#222",
            shown == full ? std::string() : full + suffix);
}

// The empirical CDF as steps: flat to each value, then up to its fraction.
std::vector<std::pair<double, double>> steps(const std::vector<std::pair<double, double>>& points,
                                             const Frame& f) {
  std::vector<std::pair<double, double>> out;
  double last = 0;
  for (const auto& p : points) {
    out.emplace_back(f.x(p.first), f.y(last));
    out.emplace_back(f.x(p.first), f.y(p.second));
    last = p.second;
  }
  if (!points.empty()) out.emplace_back(f.right, f.y(last));
  return out;
}

}  // namespace

const char kAllColour[] = "#222";
const char kFailColour[] = "#d62728";

const char* group_colour(size_t index) {
  return kPalette[index % (sizeof kPalette / sizeof kPalette[0])];
}

std::vector<double> axis_ticks(double low, double high, int count) {
  std::vector<double> ticks;
  if (!(high > low) || count < 1) return {low};
  const double raw = (high - low) / count;
  const double power = std::pow(10, std::floor(std::log10(raw)));
  double step = power * 10;
  for (double m : {1.0, 2.0, 5.0}) {
    if (raw <= m * power) {
      step = m * power;
      break;
    }
  }
  const double first = std::ceil(low / step - 1e-9);
  for (double k = first; k * step <= high + step * 1e-9; k += 1) {
    ticks.push_back(k == 0 ? 0.0 : k * step);
  }
  return ticks;
}

std::string cdf_chart(const std::vector<GroupReport>& groups, const GroupReport& all,
                      const std::string& groupTitle) {
  const std::string title = "Cumulative distribution of endToEndTime per " + groupTitle;
  if (all.endToEndCdf.empty()) return "";
  std::vector<size_t> shown;
  for (size_t i = 0; i < groups.size(); ++i) {
    if (!groups[i].endToEndCdf.empty()) shown.push_back(i);
  }
  std::stable_sort(shown.begin(), shown.end(), [&groups](size_t a, size_t b) {
    return groups[a].roundTrips.endToEndTime.n > groups[b].roundTrips.endToEndTime.n;
  });
  const size_t hidden = shown.size() > kChartGroups ? shown.size() - kChartGroups : 0;
  if (hidden > 0) shown.resize(kChartGroups);

  Frame f;
  f.right = kWidth - 190;  // room for the legend
  f.xLow = std::min(0.0, all.roundTrips.endToEndTime.min);
  f.xHigh = all.roundTrips.endToEndTime.max;
  if (f.xHigh <= f.xLow) f.xHigh = f.xLow + 1;
  Svg svg(kWidth, kHeight, title);
  draw_axes(&svg, f, "endToEndTime (s)", "runs at or below", true);
  double legendY = f.top + 10;
  for (size_t i : shown) {
    const GroupReport& g = groups[i];
    svg.polyline(steps(g.endToEndCdf, f), group_colour(i));
    svg.rect(f.right + 15, legendY - 9, 12, 12, group_colour(i));
    legend_label(&svg, f.right + 32, legendY + 1, g.key,
                 " (" + std::to_string(g.roundTrips.endToEndTime.n) + ")", 20);
    legendY += 18;
  }
  svg.polyline(steps(all.endToEndCdf, f), kAllColour, 2.5);
  svg.rect(f.right + 15, legendY - 9, 12, 12, kAllColour);
  svg.text(f.right + 32, legendY + 1, "all (" + std::to_string(all.roundTrips.endToEndTime.n) + ")",
           Svg::Anchor::kStart, 11);
  if (hidden > 0) {
    svg.text(f.right + 15, legendY + 20, std::to_string(hidden) + " more groups not drawn",
             Svg::Anchor::kStart, 11, "#666");
  }
  return svg.str();
}

std::string histogram_chart(const DeliveryBins& bins, const std::vector<GroupReport>& groups) {
  const std::string title = "Histogram of deliveryTime per group";
  const std::vector<double>& edges = bins.binning.edges;
  if (bins.all.empty() || edges.size() < 2) return "";
  // The groups with completed round trips, side by side in each bin.
  std::vector<size_t> drawn;
  for (size_t g = 0; g < bins.groups.size() && drawn.size() < kChartGroups; ++g) {
    for (size_t c : bins.groups[g]) {
      if (c > 0) {
        drawn.push_back(g);
        break;
      }
    }
  }
  if (drawn.empty()) return "";
  Frame f;
  f.xLow = edges.front();
  f.xHigh = edges.back();
  if (bins.binning.rule == BinRule::kSingle || f.xHigh <= f.xLow) f.xHigh = f.xLow + 1;
  size_t most = 1;
  for (size_t g : drawn) {
    for (size_t c : bins.groups[g]) most = std::max(most, c);
  }
  f.yHigh = static_cast<double>(most);
  Svg svg(kWidth, kHeight, title);
  draw_axes(&svg, f, "deliveryTime (s)", "round trips");
  for (size_t i = 0; i + 1 < edges.size(); ++i) {
    const double x0 = f.x(edges[i]);
    const double x1 = bins.binning.rule == BinRule::kSingle ? f.right : f.x(edges[i + 1]);
    const double width = std::max(0.5, (x1 - x0 - 1) / static_cast<double>(drawn.size()));
    for (size_t k = 0; k < drawn.size(); ++k) {
      const size_t g = drawn[k];
      const size_t count = bins.groups[g][i];
      if (count == 0) continue;
      const double top = f.y(static_cast<double>(count));
      svg.rect(x0 + 0.5 + width * static_cast<double>(k), top, width, f.bottom - top,
               group_colour(g),
               display_key(groups[g].key) + format(", %.3f to %.3f s: ", edges[i], edges[i + 1]) +
                   std::to_string(count));
    }
  }
  svg.text(f.right, 12,
           std::string("bins: ") + bin_rule_name(bins.binning.rule) +
               format(", %llu of %.3f s", static_cast<unsigned long long>(edges.size() - 1),
                      (edges.back() - edges.front()) / static_cast<double>(edges.size() - 1)),
           Svg::Anchor::kEnd, 11, "#666");
  return svg.str();
}

std::string run_chart(const std::vector<RunPoint>& runs, const std::vector<GroupReport>& groups) {
  const std::string title = "deliveryTime of every round trip in order";
  if (runs.empty()) return "";
  double high = 0;
  for (const RunPoint& r : runs) {
    if (!std::isnan(r.delivery)) high = std::max(high, static_cast<double>(r.delivery));
  }
  Frame f;
  f.top = 30;  // room for the count above the plot
  f.xLow = 1;
  f.xHigh = std::max<double>(2, static_cast<double>(runs.size()));
  f.yHigh = high > 0 ? high : 1;
  Svg svg(kWidth, kHeight, title);
  draw_axes(&svg, f, "run", "deliveryTime (s)");
  const double markHeight = 6;
  if (runs.size() <= kRunDots) {
    for (size_t i = 0; i < runs.size(); ++i) {
      const double x = f.x(static_cast<double>(i + 1));
      if (std::isnan(runs[i].delivery)) {
        svg.rect(x - 0.75, f.bottom - markHeight, 1.5, markHeight, kFailColour);
      } else {
        const size_t g = runs[i].group;
        svg.circle(x, f.y(runs[i].delivery), 2, group_colour(g),
                   g < groups.size() ? display_key(groups[g].key) +
                                           format(": %.3f s", static_cast<double>(runs[i].delivery))
                                     : std::string());
      }
    }
  } else {
    // One column per pixel or so: the range of times in it, and a red mark
    // when any run in it failed.
    const size_t columns = static_cast<size_t>(f.right - f.left);
    for (size_t c = 0; c < columns; ++c) {
      const size_t from = c * runs.size() / columns;
      const size_t to = (c + 1) * runs.size() / columns;
      double low = INFINITY, top = -INFINITY;
      bool failed = false;
      for (size_t i = from; i < to; ++i) {
        if (std::isnan(runs[i].delivery)) {
          failed = true;
        } else {
          low = std::min(low, static_cast<double>(runs[i].delivery));
          top = std::max(top, static_cast<double>(runs[i].delivery));
        }
      }
      const double x = f.left + static_cast<double>(c) + 0.5;
      if (top >= low) svg.line(x, f.y(low) + 1, x, f.y(top) - 1, kPalette[0]);
      if (failed) svg.line(x, f.bottom, x, f.bottom - markHeight, kFailColour);
    }
  }
  size_t failures = 0;
  for (const RunPoint& r : runs) failures += std::isnan(r.delivery);
  svg.text(f.right, 16,
           std::to_string(runs.size()) + " round trips, " + std::to_string(failures) +
               " not completed (red)",
           Svg::Anchor::kEnd, 11, "#666");
  return svg.str();
}

std::string signal_chart(const std::vector<RunPoint>& runs,
                         const std::vector<GroupReport>& groups) {
  std::vector<const RunPoint*> points;
  for (const RunPoint& r : runs) {
    if (!std::isnan(r.delivery) && !std::isnan(r.signal)) points.push_back(&r);
  }
  if (points.empty()) return "";
  double low = INFINITY, high = -INFINITY, top = 0;
  for (const RunPoint* r : points) {
    low = std::min(low, static_cast<double>(r->signal));
    high = std::max(high, static_cast<double>(r->signal));
    top = std::max(top, static_cast<double>(r->delivery));
  }
  Frame f;
  f.top = 30;
  f.xLow = std::floor(low / 5) * 5 - 5;
  f.xHigh = std::ceil(high / 5) * 5 + 5;
  f.yHigh = top > 0 ? top * 1.05 : 1;
  Svg svg(kWidth, kHeight, "deliveryTime against signal strength at the send");
  draw_axes(&svg, f, "signal at the send (dBm: RSRP, else RSSI)", "deliveryTime (s)");
  const size_t step = points.size() > kRunDots ? (points.size() + kRunDots - 1) / kRunDots : 1;
  for (size_t i = 0; i < points.size(); i += step) {
    const RunPoint& r = *points[i];
    const size_t g = r.group;
    svg.circle(f.x(r.signal), f.y(r.delivery), 2.5, group_colour(g),
               g < groups.size() ? display_key(groups[g].key) +
                                       format(": %.0f dBm, %.3f s", static_cast<double>(r.signal),
                                              static_cast<double>(r.delivery))
                                 : std::string());
  }
  svg.text(f.right, 16,
           std::to_string(points.size()) + " completed round trips with a signal reading" +
               (step > 1 ? format(", every %llu drawn", static_cast<unsigned long long>(step))
                         : std::string()),
           Svg::Anchor::kEnd, 11, "#666");
  return svg.str();
}

}  // namespace smstest
