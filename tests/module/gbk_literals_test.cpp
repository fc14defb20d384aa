// The module's Chinese texts are kept as GBK byte escapes; each must be
// exactly what iconv makes of its Unicode form, or the room types would never
// match the ini keys and the note and folio would be stored garbled.
#include <gtest/gtest.h>

#include <string>

#include "reservation/GbkLiterals.h"
#include "tests/support/TestSupport.h"

namespace {

namespace lit = resv::gbk_literals;

TEST(GbkLiterals, EachIsTheGbkFormOfItsText) {
    EXPECT_EQ(std::string(lit::kStandardRoom), ts::Gbk("标准间"));
    EXPECT_EQ(std::string(lit::kDeluxeRoom), ts::Gbk("豪华间"));
    EXPECT_EQ(std::string(lit::kSuite), ts::Gbk("套间"));
    EXPECT_EQ(std::string(lit::kBusinessRoom), ts::Gbk("商务间"));
    EXPECT_EQ(std::string(lit::kNoteFormat), ts::Gbk("(预定公司%s 电话:%s) %s"));
    EXPECT_EQ(std::string(lit::kFolioDescription), ts::Gbk("标准帐本"));
}

}  // namespace
