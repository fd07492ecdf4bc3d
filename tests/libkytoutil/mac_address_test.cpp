// The public header comes first: it must compile on its own.
#include "kytoutil/kytoutil.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace {

constexpr unsigned char kUntouched = 0x77;

struct MacCase {
  const char* text;
  int result;
  std::array<unsigned char, 7> bytes;  // the output after the call; the 7th byte is never written
};

void PrintTo(const MacCase& c, std::ostream* os) {
  *os << '"' << c.text << '"';
}

class MacConversion : public ::testing::TestWithParam<MacCase> {};

TEST_P(MacConversion, WritesOnlyTheFieldsReadBeforeAFault) {
  const MacCase& c = GetParam();
  std::array<unsigned char, 7> out;
  out.fill(kUntouched);
  EXPECT_EQ(convertMacStrToMacBinStr(c.text, reinterpret_cast<char*>(out.data())), c.result);
  EXPECT_EQ(out, c.bytes);
}

constexpr unsigned char U = kUntouched;

INSTANTIATE_TEST_SUITE_P(
    Table, MacConversion,
    ::testing::Values(MacCase{"00:11:22:33:44:55", 0, {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, U}},
                      MacCase{"AA:bb:Cc:dD:ee:FF", 0, {0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF, U}},
                      MacCase{"0:1:2:3:4:5", 0, {0, 1, 2, 3, 4, 5, U}},
                      MacCase{"000aa:1:2:3:4:5", 0, {0xAA, 1, 2, 3, 4, 5, U}},
                      MacCase{"aa:bb:cc:dd:ee:", 0, {0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0, U}},
                      MacCase{":::::", 0, {0, 0, 0, 0, 0, 0, U}},
                      MacCase{"aa:bb:cc:dd:ee:ff:", 1, {0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF, U}},
                      MacCase{"aa:bb:cc:dd:ee:ff:00", 1, {0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF, U}},
                      MacCase{"aa:bb:cc:dd:ee", 1, {0xAA, 0xBB, 0xCC, 0xDD, 0xEE, U, U}},
                      MacCase{"aa-bb-cc-dd-ee-ff", 1, {U, U, U, U, U, U, U}},
                      MacCase{"100:11:22:33:44:55", 1, {U, U, U, U, U, U, U}},
                      MacCase{"aa:bb:cc:dd:ee:ff ", 1, {0xAA, 0xBB, 0xCC, 0xDD, 0xEE, U, U}},
                      MacCase{"", 1, {0, U, U, U, U, U, U}},
                      // However many digits a field has, its value can't wrap back into range.
                      MacCase{"10000000000000000aa:1:2:3:4:5", 1, {U, U, U, U, U, U, U}},
                      MacCase{"1:2:3:4:5:100000000000000000", 1, {1, 2, 3, 4, 5, U, U}},
                      MacCase{"0:1:2:3:4:5:::::::::", 1, {0, 1, 2, 3, 4, 5, U}}));

TEST(MacConversion, NullArgumentsFail) {
  char out[6] = {};
  EXPECT_EQ(convertMacStrToMacBinStr(nullptr, out), 1);
  EXPECT_EQ(convertMacStrToMacBinStr("00:11:22:33:44:55", nullptr), 1);
}

}  // namespace
