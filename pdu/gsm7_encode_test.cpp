#include "pdu/gsm7_encode.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "pdu/alphabets.h"

namespace smstest {
namespace {

std::string hex(const std::vector<unsigned char>& data) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : data) {
    out += kDigits[c >> 4];
    out += kDigits[c & 0x0F];
  }
  return out;
}

// What the decoder makes of septets.
std::string decoded(const std::vector<unsigned char>& septets) {
  std::vector<char> text(septets.size() + 1);
  gsm_to_latin1(static_cast<int>(septets.size()), septets.data(), text.data());
  return text.data();
}

TEST(Latin1ToGsm7, Table) {
  struct Case {
    unsigned char c;
    std::vector<unsigned char> septets;  // empty: no 7-bit form
  } cases[] = {
      {'A', {0x41}},
      {'z', {0x7A}},
      {'@', {0x00}},   // unlike ASCII
      {'$', {0x02}},   // unlike ASCII
      {'_', {0x11}},   // unlike ASCII
      {0xA4, {0x24}},  // currency sign: the default table, not the escaped euro
      {0xA1, {0x40}},  // inverted exclamation mark
      {0xBF, {0x60}},  // inverted question mark
      {0xC7, {0x09}},  // C cedilla
      {0xE0, {0x7F}},  // a grave
      {'\n', {0x0A}},
      {'\r', {0x0D}},
      {'?', {0x3F}},         // the question mark itself, not a Greek capital
      {0x0C, {0x1B, 0x0A}},  // form feed
      {'^', {0x1B, 0x14}},
      {'{', {0x1B, 0x28}},
      {'}', {0x1B, 0x29}},
      {'\\', {0x1B, 0x2F}},
      {'[', {0x1B, 0x3C}},
      {'~', {0x1B, 0x3D}},
      {']', {0x1B, 0x3E}},
      {'|', {0x1B, 0x40}},
      {'`', {}},
      {0x00, {}},
      {0x1B, {}},  // the escape is no character of its own
      {'\t', {}},
      {0x7F, {}},
      {0xE1, {}},  // a acute: not in the default alphabet
      {0xFF, {}},
  };
  for (const Case& c : cases) {
    unsigned char septets[2] = {0xEE, 0xEE};
    const int count = latin1_to_gsm7(c.c, septets);
    EXPECT_EQ(std::vector<unsigned char>(septets, septets + count), c.septets)
        << "byte " << int(c.c);
    EXPECT_EQ(maps_to_gsm7(std::string(1, static_cast<char>(c.c))), !c.septets.empty())
        << "byte " << int(c.c);
  }
}

TEST(Latin1ToGsm7, IsTheExactInverseOfTheDecoder) {
  // Every byte that maps decodes back to itself; every byte the decoder can
  // produce from one septet or one escape pair maps.
  std::vector<bool> producible(256, false);
  for (int s = 0; s < 0x80; ++s) {
    if (s == 0x1B) continue;
    producible[static_cast<unsigned char>(decoded({static_cast<unsigned char>(s)})[0])] = true;
    producible[static_cast<unsigned char>(gsm_ext_to_latin1(static_cast<unsigned char>(s)))] = true;
  }
  int mapped = 0;
  for (int c = 0; c < 256; ++c) {
    unsigned char septets[2];
    const int count = latin1_to_gsm7(static_cast<unsigned char>(c), septets);
    EXPECT_EQ(count > 0, static_cast<bool>(producible[c])) << "byte " << c;
    if (count == 0) continue;
    ++mapped;
    EXPECT_EQ(decoded(std::vector<unsigned char>(septets, septets + count)),
              std::string(1, static_cast<char>(c)))
        << "byte " << c;
  }
  // 128 septets less the escape and the ten Greek capitals the decoder shows
  // as '?', plus the nine characters only the extension table holds.
  EXPECT_EQ(mapped, 117 + 9);
}

TEST(Gsm7SeptetCount, CountsEscapesAndRefusesUnmapped) {
  struct Case {
    std::string text;
    int septets;
  } cases[] = {
      {"", 0},
      {"hello", 5},
      {"[x]", 5},
      {"{}", 4},
      {"\xE9t\xE9", 3},  // e acute is in the default alphabet
      {"a`b", -1},
      {std::string("a\0b", 3), -1},
      {std::string(160, 'a'), 160},
      {std::string(80, '~'), 160},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(gsm7_septet_count(c.text), c.septets) << testing::PrintToString(c.text);
    EXPECT_EQ(maps_to_gsm7(c.text), c.septets >= 0) << testing::PrintToString(c.text);
  }
}

TEST(PackSeptets, Table) {
  struct Case {
    std::string text;
    const char* packed;
  } cases[] = {
      {"", ""},
      {"h", "68"},
      {"hello", "E8329BFD06"},
      {"hellohello", "E8329BFD4697D9EC37"},
      // Eight septets fill seven octets exactly.
      {"ABCDEFGH", "41E19058341E91"},
      // The escape and its code are two septets like any others.
      {"\xA4[", "A40D0F"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(hex(pack_septets(latin1_to_septets(c.text))), c.packed) << c.text;
  }
}

TEST(PackSeptets, UnpacksToTheSameSeptetsForEveryLength) {
  std::mt19937 random(7);
  for (int n = 0; n <= 170; ++n) {
    std::vector<unsigned char> septets(n);
    for (unsigned char& s : septets) s = static_cast<unsigned char>(random() & 0x7F);
    if (n > 0) septets[n - 1] = 0x7F;  // all bits set at the end too
    const std::vector<unsigned char> packed = pack_septets(septets);
    ASSERT_EQ(packed.size(), static_cast<size_t>((7 * n + 7) / 8)) << n;
    std::vector<unsigned char> back(n + 1);
    unpack_septets(packed.data(), n, back.data());
    back.resize(n);
    ASSERT_EQ(back, septets) << "length " << n;
    // Bits past the last septet stay clear.
    if (n % 8 != 0) {
      EXPECT_EQ(packed.back() >> ((7 * n) % 8), 0) << n;
    }
  }
}

TEST(Latin1ToUcs2, EveryByteIsItsOwnCodePoint) {
  EXPECT_EQ(hex(latin1_to_ucs2("Hi")), "00480069");
  EXPECT_EQ(hex(latin1_to_ucs2("")), "");
  std::string all;
  for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
  const std::vector<unsigned char> ucs2 = latin1_to_ucs2(all);
  ASSERT_EQ(ucs2.size(), 512u);
  for (int c = 0; c < 256; ++c) {
    EXPECT_EQ(ucs2[2 * c], 0x00);
    EXPECT_EQ(ucs2[2 * c + 1], c);
  }
}

}  // namespace
}  // namespace smstest
