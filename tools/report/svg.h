// A small SVG writer for the report's charts (charts.h): one <svg> element
// of lines, polylines, rectangles, circles and texts, for embedding in the
// HTML page.  Every text and attribute value passes through `xml_text`, so
// whatever bytes a result file held, the element stays well-formed XML.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace smstest {

// `bytes` (see to_utf8) escaped for XML text and attribute values: & < > "
// and ' as references; characters that XML 1.0 does not allow (controls
// below 0x20 but tab, LF and CR; U+FFFE, U+FFFF) become U+FFFD.
std::string xml_text(const std::string& bytes);

// A coordinate with at most two decimals ("12.5", "-3", "0.25").
std::string svg_number(double value);

class Svg {
 public:
  // `title` names the picture for screen readers and as its tooltip.
  Svg(double width, double height, const std::string& title);

  void line(double x1, double y1, double x2, double y2, const std::string& stroke,
            double strokeWidth = 1);
  void polyline(const std::vector<std::pair<double, double>>& points, const std::string& stroke,
                double strokeWidth = 1.5);
  // `tip`, when not empty, is shown when the pointer rests on the shape.
  void rect(double x, double y, double width, double height, const std::string& fill,
            const std::string& tip = "");
  void circle(double cx, double cy, double r, const std::string& fill, const std::string& tip = "");
  // A closed shape, filled.
  void polygon(const std::vector<std::pair<double, double>>& points, const std::string& fill);
  enum class Anchor { kStart, kMiddle, kEnd };
  // `tip`, when not empty, is the full text of a shortened label.
  void text(double x, double y, const std::string& text, Anchor anchor = Anchor::kStart,
            double size = 12, const std::string& fill = "#222", const std::string& tip = "");
  // The same text turned a quarter left (for a y-axis title).
  void vertical_text(double x, double y, const std::string& text, double size = 12);

  double width() const { return width_; }
  double height() const { return height_; }

  // The whole element.
  std::string str() const;

 private:
  double width_;
  double height_;
  std::string title_;
  std::string body_;
};

}  // namespace smstest
