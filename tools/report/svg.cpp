#include "tools/report/svg.h"

#include <cmath>

#include "common/text.h"
#include "tools/report/utf8_text.h"

namespace smstest {

std::string xml_text(const std::string& bytes) {
  const std::string utf8 = to_utf8(bytes);
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size(); ++i) {
    const char c = utf8[i];
    // U+FFFE and U+FFFF are well-formed UTF-8 but not XML characters.
    if (c == '\xEF' && i + 2 < utf8.size() && utf8[i + 1] == '\xBF' &&
        (utf8[i + 2] == '\xBE' || utf8[i + 2] == '\xBF')) {
      out += "\xEF\xBF\xBD";
      i += 2;
      continue;
    }
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r') {
          out += "\xEF\xBF\xBD";  // U+FFFD
        } else {
          out += c;
        }
    }
  }
  return out;
}

std::string svg_number(double value) {
  if (!std::isfinite(value)) return "0";
  std::string s = format("%.2f", value);
  while (s.back() == '0') s.pop_back();
  if (s.back() == '.') s.pop_back();
  if (s == "-0") s = "0";
  return s;
}

Svg::Svg(double width, double height, const std::string& title)
    : width_(width), height_(height), title_(title) {}

void Svg::line(double x1, double y1, double x2, double y2, const std::string& stroke,
               double strokeWidth) {
  body_ +=
      format("<line x1=\"%s\" y1=\"%s\" x2=\"%s\" y2=\"%s\" stroke=\"%s\" stroke-width=\"%s\"/>\n",
             svg_number(x1).c_str(), svg_number(y1).c_str(), svg_number(x2).c_str(),
             svg_number(y2).c_str(), xml_text(stroke).c_str(), svg_number(strokeWidth).c_str());
}

void Svg::polyline(const std::vector<std::pair<double, double>>& points, const std::string& stroke,
                   double strokeWidth) {
  if (points.empty()) return;
  body_ += "<polyline fill=\"none\" stroke=\"" + xml_text(stroke) + "\" stroke-width=\"" +
           svg_number(strokeWidth) + "\" points=\"";
  for (size_t i = 0; i < points.size(); ++i) {
    if (i > 0) body_ += ' ';
    body_ += svg_number(points[i].first) + ',' + svg_number(points[i].second);
  }
  body_ += "\"/>\n";
}

void Svg::rect(double x, double y, double width, double height, const std::string& fill,
               const std::string& tip) {
  body_ += format("<rect x=\"%s\" y=\"%s\" width=\"%s\" height=\"%s\" fill=\"%s\"",
                  svg_number(x).c_str(), svg_number(y).c_str(), svg_number(width).c_str(),
                  svg_number(height).c_str(), xml_text(fill).c_str());
  if (tip.empty()) {
    body_ += "/>\n";
  } else {
    body_ += "><title>" + xml_text(tip) + "</title></rect>\n";
  }
}

void Svg::circle(double cx, double cy, double r, const std::string& fill, const std::string& tip) {
  body_ += format("<circle cx=\"%s\" cy=\"%s\" r=\"%s\" fill=\"%s\"", svg_number(cx).c_str(),
                  svg_number(cy).c_str(), svg_number(r).c_str(), xml_text(fill).c_str());
  body_ += tip.empty() ? "/>\n" : "><title>" + xml_text(tip) + "</title></circle>\n";
}

void Svg::polygon(const std::vector<std::pair<double, double>>& points, const std::string& fill) {
  body_ += "<polygon points=\"";
  for (size_t i = 0; i < points.size(); ++i) {
    if (i > 0) body_ += ' ';
    body_ += svg_number(points[i].first) + ',' + svg_number(points[i].second);
  }
  body_ += "\" fill=\"" + xml_text(fill) + "\"/>\n";
}

void Svg::text(double x, double y, const std::string& text, Anchor anchor, double size,
               const std::string& fill, const std::string& tip) {
  const char* a = anchor == Anchor::kMiddle ? "middle" : anchor == Anchor::kEnd ? "end" : "start";
  body_ += format("<text x=\"%s\" y=\"%s\" text-anchor=\"%s\" font-size=\"%s\" fill=\"%s\">",
                  svg_number(x).c_str(), svg_number(y).c_str(), a, svg_number(size).c_str(),
                  xml_text(fill).c_str());
  if (!tip.empty()) body_ += "<title>" + xml_text(tip) + "</title>";
  body_ += xml_text(text) + "</text>\n";
}

void Svg::vertical_text(double x, double y, const std::string& text, double size) {
  body_ += format(
      "<text x=\"%s\" y=\"%s\" text-anchor=\"middle\" font-size=\"%s\" fill=\"#222\" "
      "transform=\"rotate(-90 %s %s)\">",
      svg_number(x).c_str(), svg_number(y).c_str(), svg_number(size).c_str(), svg_number(x).c_str(),
      svg_number(y).c_str());
  body_ += xml_text(text) + "</text>\n";
}

std::string Svg::str() const {
  return format(
             "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%s\" height=\"%s\" "
             "viewBox=\"0 0 %s %s\" role=\"img\" font-family=\"sans-serif\">\n",
             svg_number(width_).c_str(), svg_number(height_).c_str(), svg_number(width_).c_str(),
             svg_number(height_).c_str()) +
         "<title>" + xml_text(title_) + "</title>\n" + body_ + "</svg>\n";
}

}  // namespace smstest
