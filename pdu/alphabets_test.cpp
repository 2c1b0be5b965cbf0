#include "pdu/alphabets.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace smstest {

namespace {

std::vector<unsigned char> from_hex(const std::string& hex) {
  std::vector<unsigned char> out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<unsigned char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return out;
}

std::string to_hex(const unsigned char* data, size_t size) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (size_t i = 0; i < size; ++i) {
    out += kDigits[data[i] >> 4];
    out += kDigits[data[i] & 0x0F];
  }
  return out;
}

// Packs septets by the bit-stream definition (septet k in bits 7k..7k+6),
// independently of the unpacker's octet-by-octet walk.
std::vector<unsigned char> pack_septets(const std::vector<unsigned char>& septets) {
  std::vector<unsigned char> packed((7 * septets.size() + 7) / 8);
  for (size_t k = 0; k < septets.size(); ++k) {
    for (int b = 0; b < 7; ++b) {
      if (septets[k] >> b & 1) {
        size_t bit = 7 * k + b;
        packed[bit / 8] |= static_cast<unsigned char>(1 << (bit % 8));
      }
    }
  }
  return packed;
}

// Unpacks into a buffer one byte larger than `count` and checks that the
// extra byte is left alone (no terminator).  `packed` is exactly as long as
// the octets that may be read, so a read beyond them trips ASan.
std::string unpack_to_hex(const std::vector<unsigned char>& packed, int count) {
  const int expected = count < 0 ? 0 : count;
  std::vector<unsigned char> septets(expected + 1, 0xEE);
  int written = unpack_septets(packed.data(), count, septets.data());
  EXPECT_EQ(written, expected);
  EXPECT_EQ(septets[expected], 0xEE) << "wrote past the septets";
  return to_hex(septets.data(), written);
}

TEST(UnpackSeptets, Table) {
  struct Case {
    const char* packed;
    int count;
    const char* septets;
  } cases[] = {
      {"E8329BFD06", 5, "68656C6C6F"},                     // hello
      {"41E19058341E91", 8, "4142434445464748"},           // ABCDEFGH: 8 septets in 7 octets
      {"41E19058341E01", 7, "41424344454647"},             // 7 septets, one spare bit
      {"E8329BFD4697D9EC37", 10, "68656C6C6F68656C6C6F"},  // hellohello
      {"FFFFFFFFFFFFFF", 8, "7F7F7F7F7F7F7F7F"},
      {"FF", 1, "7F"},  // the top bit of a lone octet belongs to the next septet
      {"80", 1, "00"},
      {"", 0, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(unpack_to_hex(from_hex(c.packed), c.count), c.septets)
        << "packed=" << c.packed << " count=" << c.count;
  }
}

TEST(UnpackSeptets, ZeroOrNegativeCountWritesNothing) {
  std::vector<unsigned char> none;
  EXPECT_EQ(unpack_to_hex(none, 0), "");
  EXPECT_EQ(unpack_to_hex(none, -3), "");
}

TEST(UnpackSeptets, ReadsBackWhatTheBitStreamHolds) {
  std::mt19937 random(20240607);
  std::uniform_int_distribution<int> septet(0, 127);
  for (int count = 1; count <= 170; ++count) {
    std::vector<unsigned char> septets(count);
    for (unsigned char& s : septets) s = static_cast<unsigned char>(septet(random));
    EXPECT_EQ(unpack_to_hex(pack_septets(septets), count), to_hex(septets.data(), count))
        << "count=" << count;
  }
}

std::string latin1(const std::vector<unsigned char>& septets) {
  // Output buffer as the decoder sizes it: one byte per septet and the zero.
  std::vector<char> text(septets.size() + 1, '\x55');
  gsm_to_latin1(static_cast<int>(septets.size()), septets.data(), text.data());
  return std::string(text.data());
}

TEST(GsmToLatin1, Table) {
  struct Case {
    const char* septets;
    const char* text;
  } cases[] = {
      {"68656C6C6F", "hello"},
      {"00", "@"},
      {"01", "\xA3"},  // pound sign
      {"02", "$"},
      {"03", "\xA5"},  // yen sign
      {"09", "\xC7"},  // capital C with cedilla
      {"0A0D", "\n\r"},
      {"0B0C0E0F", "\xD8\xF8\xC5\xE5"},
      {"10", "?"},  // capital delta: not in ISO-8859-1
      {"11", "_"},
      {"1C1D1E1F", "\xC6\xE6\xDF\xC9"},
      {"24", "\xA4"},  // currency sign, not '$'
      {"40", "\xA1"},  // inverted exclamation mark, not '@'
      {"5B5C5D5E5F", "\xC4\xD6\xD1\xDC\xA7"},
      {"60", "\xBF"},
      {"7B7C7D7E7F", "\xE4\xF6\xF1\xFC\xE0"},
      {"1B65", "\xA4"},  // euro sign as the currency sign
      {"1B41", "?"},     // not in the extension table
      {"1B1B", "?"},     // a second escape is consumed with the first
      {"411B2842", "A{B"},
      {"1B", "?"},  // trailing escape: nothing after it is read
      {"411B", "A?"},
      {"80FF", "??"},  // bytes that no septet can be
      {"", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(latin1(from_hex(c.septets)), c.text) << "septets=" << c.septets;
  }
}

TEST(GsmToLatin1, DefaultAlphabetKeepsAsciiWhereTheStandardDoes) {
  for (int septet = 0; septet < 128; ++septet) {
    unsigned char s = static_cast<unsigned char>(septet);
    std::string text = latin1({s});
    ASSERT_EQ(text.size(), 1u) << "septet=" << septet;
    bool sameAsAscii = septet == 0x0A || septet == 0x0D || (septet >= 0x20 && septet <= 0x23) ||
                       (septet >= 0x25 && septet <= 0x3F) || (septet >= 0x41 && septet <= 0x5A) ||
                       (septet >= 0x61 && septet <= 0x7A);
    bool unknown = septet == 0x10 || (septet >= 0x12 && septet <= 0x1B);
    if (sameAsAscii) {
      EXPECT_EQ(static_cast<unsigned char>(text[0]), septet) << "septet=" << septet;
    } else if (unknown) {
      EXPECT_EQ(text, "?") << "septet=" << septet;
    } else {
      EXPECT_NE(text, "?") << "septet=" << septet;
      EXPECT_NE(static_cast<unsigned char>(text[0]), septet) << "septet=" << septet;
    }
  }
}

TEST(GsmToLatin1, ConvertsInPlace) {
  std::vector<unsigned char> buffer = from_hex("1B3C411B3E1B6542");
  buffer.push_back(0);  // room for the terminator, as the decoder leaves it
  gsm_to_latin1(8, buffer.data(), reinterpret_cast<char*>(buffer.data()));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer.data())),
            "[A]\xA4"
            "B");
}

TEST(GsmExtToLatin1, EveryCode) {
  const std::pair<int, char> known[] = {
      {0x0A, '\x0C'}, {0x14, '^'}, {0x28, '{'}, {0x29, '}'}, {0x2F, '\\'},
      {0x3C, '['},    {0x3D, '~'}, {0x3E, ']'}, {0x40, '|'}, {0x65, '\xA4'},
  };
  for (int code = 0; code < 256; ++code) {
    char expected = '?';
    for (const auto& k : known) {
      if (k.first == code) expected = k.second;
    }
    EXPECT_EQ(gsm_ext_to_latin1(static_cast<unsigned char>(code)), expected) << "code=" << code;
  }
}

TEST(Ucs2ToMbcs, Table) {
  struct Case {
    const char* data;
    int octetCount;
    std::string text;
    int traces;  // "Error calling wctomb!\n" lines
  } cases[] = {
      {"00480069", 4, "Hi", 0},
      {"00E9", 2, "\xE9", 0},
      {"00FF0100", 4, "\xFF?", 1},  // the last code unit ISO-8859-1 holds, and the first past it
      {"041F", 2, "?", 1},
      {"0048006900", 5, "Hi", 0},  // odd last octet ignored
      {"0048", 1, "", 0},
      {"", 0, "", 0},
      {"00410000", 4, std::string("A\0", 2), 0},  // U+0000 is a zero byte inside the text
      {"D83DDE00", 4, "??", 2},                   // surrogate halves fail one by one
      {"0628062A", 4, "??", 2},
  };
  for (const Case& c : cases) {
    std::vector<unsigned char> data = from_hex(c.data);
    std::vector<char> text(c.octetCount / 2 + 1, '\x55');
    testing::internal::CaptureStderr();
    int written = ucs2_to_mbcs(c.octetCount, text.data(), data.data());
    std::string err = testing::internal::GetCapturedStderr();
    std::string expectedErr;
    for (int i = 0; i < c.traces; ++i) expectedErr += "Error calling wctomb!\n";
    EXPECT_EQ(written, static_cast<int>(c.text.size())) << "data=" << c.data;
    EXPECT_EQ(std::string(text.data(), written), c.text) << "data=" << c.data;
    EXPECT_EQ(text[written], '\0') << "data=" << c.data;
    EXPECT_EQ(err, expectedErr) << "data=" << c.data;
  }
}

std::string read_all(FILE* file) {
  std::string out;
  std::rewind(file);
  char buffer[256];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) out.append(buffer, n);
  return out;
}

TEST(Trace, GoesToStderrAndTheLogWhenSet) {
  FILE* log = std::tmpfile();
  ASSERT_NE(log, nullptr);
  traceFile = log;
  testing::internal::CaptureStderr();
  trace("Unsupported Data Coding Scheme %X\n", 0xF0);
  trace("%s %d\n", "twice", 2);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Unsupported Data Coding Scheme F0\ntwice 2\n");
  EXPECT_EQ(read_all(log), "Unsupported Data Coding Scheme F0\ntwice 2\n");

  traceFile = nullptr;
  testing::internal::CaptureStderr();
  trace("alone\n");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "alone\n");
  EXPECT_EQ(read_all(log), "Unsupported Data Coding Scheme F0\ntwice 2\n");
  std::fclose(log);
}

}  // namespace

}  // namespace smstest
