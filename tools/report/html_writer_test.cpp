// The HTML page: well-formed XML (checked with xmllint), self-contained, its
// four charts, and every text from the inputs escaped.
#include "tools/report/html_writer.h"

#include <gtest/gtest.h>

#include "testsupport/run_process.h"
#include "tools/report/report_test_support.h"
#include "tools/report/svg.h"

namespace smstest {
namespace {

class Page : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(xmllint_path().empty()) << "xmllint not found: install libxml2-utils";
    dir_ = make_temp_dir("html");
  }
  // The page of a report on `inputs`; checks that it was written.
  std::string page_of(const std::vector<std::string>& inputs, std::string* path) {
    ReportOptions o;
    o.inputs = inputs;
    o.htmlPath = dir_ + "/page" + std::to_string(pages_++) + ".html";
    ReportRun r = report_in_process(o);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    *path = o.htmlPath;
    return read_file(o.htmlPath);
  }
  std::string count(const std::string& path, const std::string& what) {
    return xmllint(path, "count(" + what + ")");
  }
  std::string dir_;
  int pages_ = 0;
};

// Elements by local name, whatever namespace they are in.
std::string any(const char* name) { return std::string("//*[local-name()='") + name + "']"; }

TEST_F(Page, IsWellFormedWithFourChartsAndTheKpiTable) {
  std::vector<std::string> lines;
  for (int i = 0; i < 40; ++i) {
    lines.push_back("SMS_TEST,1,T" + std::to_string(i % 3) + ",d,45N73W,0," +
                    std::to_string(1 + i % 4) + ".0," + std::to_string(2 + i % 7) +
                    ".5,-Infinity,10.0,100,100");
  }
  lines.push_back("SMS_TEST,1,T0,d,-,2,-Infinity,-Infinity,-Infinity,1.0,-Infinity,0");
  lines.push_back("SMS_TEST,1,R,d,-,2,0.5,-Infinity,3.0,9.0,-Infinity,0");
  std::string path;
  const std::string page = page_of({write_lines(dir_, "r.csv", lines)}, &path);
  EXPECT_EQ(xmllint(path), "");
  EXPECT_EQ(page.compare(0, 16, "<!DOCTYPE html>\n"), 0);
  // The track map (the runs have a position) and three charts.
  EXPECT_EQ(count(path, any("svg")), "4");
  EXPECT_EQ(xmllint(path, "string((" + any("svg") + ")[1]/" + any("title").substr(2) + ")")
                .rfind("Track map", 0),
            0u);
  // Header, four groups (R, T0, T1, T2) and all.
  EXPECT_EQ(count(path, "(" + any("table") + ")[1]/" + any("tr").substr(2)), "6");
  // A curve per group with completed round trips, and all.
  EXPECT_EQ(count(path, "(" + any("svg") + ")[2]//" + any("polyline").substr(2)), "4");
  // Nothing is fetched from elsewhere.
  for (size_t at = page.find("http"); at != std::string::npos; at = page.find("http", at + 1)) {
    EXPECT_EQ(page.compare(at - 7, 7, "xmlns=\""), 0) << "a URL that is not a namespace name";
  }
  EXPECT_EQ(page.find("<script"), std::string::npos);
  EXPECT_EQ(page.find(" src="), std::string::npos);
}

TEST_F(Page, EscapesHostileTextsEverywhere) {
  const std::string name = "<b>&amp;\"'</b>\x01\xFF";
  const std::string header = std::string(kCampaignHeader) + ",latLong";
  const std::string cause = "\"<script>alert(1)</script> & \x02\xC3\"";
  const std::string campaign = make_temp_dir("campaign");
  write_lines(campaign, "campaign.csv",
              {header,
               "1,x.cmd," + name + ",2026-12-08T10:15:00Z,,2,2," + cause +
                   ",-Infinity,-Infinity,-Infinity,1.0,-Infinity,round-trip," + name,
               "2,x.cmd," + name +
                   ",2026-12-08T10:16:00Z,,0,0,SUCCESS,1.0,2.0,-Infinity,4.0,"
                   "100,round-trip,1N2E"});
  std::string path;
  const std::string page = page_of({campaign}, &path);
  EXPECT_EQ(xmllint(path), "");
  EXPECT_EQ(page.find("<b>"), std::string::npos);
  EXPECT_EQ(page.find("<script>"), std::string::npos);
  // The texts read back as the parser sees them: Latin-1 made UTF-8, the
  // control character replaced.
  EXPECT_EQ(xmllint(path, "string((" + any("td") + "[@class='key'])[1])"),
            "<b>&amp;\"'</b>\xEF\xBF\xBD\xC3\xBF");
  EXPECT_NE(xmllint(path, "string(" + any("section") + "[3])")
                .find("<script>alert(1)</script> & \xEF\xBF\xBD\xC3\x83"),
            std::string::npos);
}

TEST_F(Page, EmptyInputGivesAPageThatSaysSo) {
  std::string path;
  const std::string page = page_of({write_lines(dir_, "empty.csv", {})}, &path);
  EXPECT_EQ(xmllint(path), "");
  // No chart box without data: no picture at all, a note instead.
  EXPECT_EQ(count(path, any("svg")), "0");
  EXPECT_NE(page.find("No round trip to draw."), std::string::npos);
  EXPECT_NE(page.find("Failure causes are known for campaign input only."), std::string::npos);
}

TEST_F(Page, ManyRunsAndGroupsStayBounded) {
  // More runs than dots and more groups than curves: the chart draws
  // columns and says how many groups it left out.
  std::vector<std::string> lines;
  for (int i = 0; i < 5000; ++i) {
    lines.push_back("SMS_TEST,1,G" + std::to_string(i % 12) + ",d,-,0,1.0," +
                    std::to_string(i % 50) + ".25,-Infinity,10.0,100,100");
    if (i % 100 == 0) {
      lines.push_back("SMS_TEST,1,G1,d,-,2,1.0,-Infinity,-Infinity,10.0,-Infinity,0");
    }
  }
  std::string path;
  const std::string page = page_of({write_lines(dir_, "many.csv", lines)}, &path);
  EXPECT_EQ(xmllint(path), "");
  EXPECT_NE(page.find("4 more groups not drawn"), std::string::npos);
  // No position: no track map, the CDF comes first, the run chart third.
  EXPECT_EQ(page.find("Track map"), std::string::npos);
  EXPECT_EQ(count(path, "(" + any("svg") + ")[1]//" + any("polyline").substr(2)), "9");
  EXPECT_EQ(count(path, "(" + any("svg") + ")[3]//" + any("circle").substr(2)), "0");
  EXPECT_NE(page.find("5050 round trips, 50 not completed (red)"), std::string::npos);
  EXPECT_LT(page.size(), 400000u);
}

// A campaign of two modem pairs: the head names the period, the places and
// the command files (phone numbers masked), each group keeps its colour in
// the legend and the tables, the groups are compared, and the runs'
// positions make a track map with a route, a scale bar and north.
TEST_F(Page, HeadLegendComparisonAndTrackMapOfACampaign) {
  const std::string header = std::string(kCampaignHeader) + ",latLong";
  std::vector<std::string> rows = {header};
  for (int i = 0; i < 30; ++i) {
    const bool a = i % 2 == 0;
    const std::string fail = i % 5 == 1 ? "2,2,Cannot send SMS,-Infinity,-Infinity"
                                        : "0,0,SUCCESS,1.5," + std::to_string(3 + i % 4) + ".0";
    rows.push_back(std::to_string(i) + (a ? ",a+4915112345678.cmd,A," : ",b.cmd,B,") +
                   "2026-12-08T10:" + std::to_string(10 + i) + ":00Z,," + fail + ",-Infinity,9.0," +
                   (fail[0] == '0' ? "100" : "-Infinity") + ",round-trip,48." +
                   std::to_string(100 + i) + "N11.5E");
  }
  const std::string campaign = make_temp_dir("campaign");
  write_lines(campaign, "campaign.csv", rows);
  std::string path;
  const std::string page = page_of({campaign}, &path);
  EXPECT_EQ(xmllint(path), "");
  const std::string head = xmllint(path, "string(" + any("dl") + ")");
  EXPECT_NE(head.find("2026-12-08 10:10:00 UTC to 2026-12-08 10:39:00 UTC"), std::string::npos)
      << head;
  EXPECT_NE(head.find("a+*********5678.cmd (15 runs)"), std::string::npos) << head;
  EXPECT_EQ(page.find("4915112345678"), std::string::npos);
  EXPECT_NE(head.find("30: 48.100N11.5E (1 run)"), std::string::npos) << head;
  EXPECT_NE(head.find("sms_report "), std::string::npos);
  // The legend and the first table give group A the same colour.
  const std::string legendA = xmllint(
      path, "string((" + any("p") + "[@class='legend']//" + any("span").substr(2) + ")[2]/@style)");
  EXPECT_EQ(legendA, "background:#1f77b4");
  EXPECT_EQ(xmllint(path, "string((" + any("td") + "[@class='key'])[1]/" + any("span").substr(2) +
                              "/@style)"),
            legendA);
  // A (the first, as large as B) is the reference; B is compared three ways.
  EXPECT_NE(page.find("Comparison of the groups"), std::string::npos);
  EXPECT_EQ(count(path, "(" + any("table") + ")[4]/" + any("tr").substr(2)), "4");
  // Track map: first picture, with a route line, a scale bar and north.
  const std::string map = "(" + any("svg") + ")[1]";
  EXPECT_EQ(
      xmllint(path, "string(" + map + "/" + any("title").substr(2) + ")").rfind("Track map", 0),
      0u);
  EXPECT_EQ(count(path, map + "/" + any("polyline").substr(2)), "1");
  EXPECT_EQ(count(path, map + "/" + any("polygon").substr(2)), "1");
  EXPECT_EQ(count(path, map + "/" + any("text").substr(2) + "[.='N']"), "1");
  EXPECT_NE(xmllint(path, "string(" + map + ")").find(" km"), std::string::npos);
}

TEST(Svg, EscapesTextsAndAttributes) {
  EXPECT_EQ(xml_text("a<b>&\"c'"), "a&lt;b&gt;&amp;&quot;c&#39;");
  EXPECT_EQ(xml_text("tab\tnl\ncr\r"), "tab\tnl\ncr\r");
  EXPECT_EQ(xml_text(std::string("nul\0", 4)), "nul\xEF\xBF\xBD");
  EXPECT_EQ(xml_text("\x1F"), "\xEF\xBF\xBD");
  EXPECT_EQ(xml_text("\xEF\xBF\xBE"), "\xEF\xBF\xBD");  // U+FFFE
  EXPECT_EQ(xml_text("\xE9"), "\xC3\xA9");
  Svg svg(100, 50, "t<1>");
  svg.text(1, 2, "x & y");
  svg.rect(0, 0, 1, 1, "red", "tip \"quoted\"");
  const std::string s = svg.str();
  EXPECT_NE(s.find("<title>t&lt;1&gt;</title>"), std::string::npos);
  EXPECT_NE(s.find(">x &amp; y</text>"), std::string::npos);
  EXPECT_NE(s.find("<title>tip &quot;quoted&quot;</title>"), std::string::npos);
  EXPECT_EQ(svg_number(1.005), "1");  // two decimals at most
  EXPECT_EQ(svg_number(-0.001), "0");
  EXPECT_EQ(svg_number(12.5), "12.5");
}

}  // namespace
}  // namespace smstest
