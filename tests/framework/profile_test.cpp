#include "framework/profile.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>

#include "tests/support/Encoding.h"
#include "tests/support/TempDir.h"

using fw::ParseProfileString;
using ts::Gbk;

namespace {

std::string Get(std::string_view text, std::string_view section, std::string_view key,
                std::size_t bufferSize = 100) {
    return ParseProfileString(text, section, key, "<default>", bufferSize);
}

// Sets or clears an environment variable for one test and puts it back.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = getenv(name)) old_ = old, hadOld_ = true;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv() {
        if (hadOld_)
            setenv(name_, old_.c_str(), 1);
        else
            unsetenv(name_);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    const char* name_;
    std::string old_;
    bool hadOld_ = false;
};

}  // namespace

TEST(ProfileParse, SectionAndKeyNamesIgnoreAsciiCaseAndBlanks) {
    const std::string ini = "[internetreserve]\ndefaultratecode=RACK\n";
    EXPECT_EQ(Get(ini, "INTERNETRESERVE", "DefaultRateCode"), "RACK");
    EXPECT_EQ(Get("  [ Sec ]  \n  Key\t=v\n", "sec", "KEY"), "v");
    // The value itself keeps its case.
    EXPECT_EQ(Get("[s]\nk=MiXeD\n", "S", "K"), "MiXeD");
}

TEST(ProfileParse, DoubleByteNamesCompareByteForByte) {
    const std::string standard = Gbk("标准间");
    const std::string deluxe = Gbk("豪华间");
    const std::string ini = "[INTERNETRESERVE]\r\n" + standard + "=STD\r\n" + deluxe + "=DLX\r\n";
    EXPECT_EQ(Get(ini, "INTERNETRESERVE", standard), "STD");
    EXPECT_EQ(Get(ini, "INTERNETRESERVE", deluxe), "DLX");
    EXPECT_EQ(Get(ini, "INTERNETRESERVE", Gbk("套间")), "<default>");
    // Trail bytes that look like ASCII letters must not be case-folded:
    // 0x81 0x41 and 0x81 0x61 are two different characters.
    EXPECT_EQ(Get("[s]\n\x81\x61=lower\n\x81\x41=upper\n", "s", "\x81\x41"), "upper");
    // A trail byte 0x5D is not the end of a section name.
    EXPECT_EQ(Get("[\x81\x5D]\nk=v\n", "\x81\x5D", "k"), "v");
}

TEST(ProfileParse, ValueLosesBlanksAndOnePairOfQuotes) {
    EXPECT_EQ(Get("[s]\nk =  a  b \t\n", "s", "k"), "a  b");
    EXPECT_EQ(Get("[s]\nk=\" a b \"\n", "s", "k"), " a b ");
    EXPECT_EQ(Get("[s]\nk='x'\n", "s", "k"), "x");
    EXPECT_EQ(Get("[s]\nk=\"\"x\"\"\n", "s", "k"), "\"x\"");
    EXPECT_EQ(Get("[s]\nk=\"x'\n", "s", "k"), "\"x'");
    EXPECT_EQ(Get("[s]\nk=\"\n", "s", "k"), "\"");
    EXPECT_EQ(Get("[s]\nk=\n", "s", "k"), "");
    EXPECT_EQ(Get("[s]\nk=a=b;c\n", "s", "k"), "a=b;c");
    EXPECT_EQ(Get("[s]\r\nk=crlf\r\n", "s", "k"), "crlf");
    EXPECT_EQ(Get("[s]\nk=no newline", "s", "k"), "no newline");
}

TEST(ProfileParse, FirstSectionAndFirstKeyWin) {
    const std::string ini =
        "k=outside\n"
        "[other]\nk=other\n"
        "[s]\n;k=comment\nk\nk=first\nK=second\n"
        "[S]\nk=later section\nonly=later\n";
    EXPECT_EQ(Get(ini, "s", "k"), "first");
    EXPECT_EQ(Get(ini, "other", "k"), "other");
    EXPECT_EQ(Get(ini, "s", "only"), "<default>");
    EXPECT_EQ(Get(ini, "missing", "k"), "<default>");
    EXPECT_EQ(Get(ini, "s", "missing"), "<default>");
    EXPECT_EQ(Get("", "s", "k"), "<default>");
}

TEST(ProfileParse, ResultIsCutToTheBuffer) {
    const std::string longValue(150, 'v');
    const std::string ini = "[s]\nk=" + longValue + "\n";
    EXPECT_EQ(Get(ini, "s", "k", 100), std::string(99, 'v'));
    EXPECT_EQ(Get(ini, "s", "k", 1), "");
    EXPECT_EQ(Get(ini, "s", "k", 0), "");
    EXPECT_EQ(Get(ini, "s", "k", 1000), longValue);
    EXPECT_EQ(ParseProfileString("", "s", "k", "abcdef", 4), "abc");
}

TEST(ProfileFile, ReadsAfreshAndFallsBackWhenMissing) {
    ts::TempDir dir;
    std::string path = dir.Write("velmar.ini", "[INTERNETRESERVE]\nDefaultRateCode=RACK\n");
    EXPECT_EQ(fw::ReadProfileString(path, "INTERNETRESERVE", "DefaultRateCode", "", 100), "RACK");
    dir.Write("velmar.ini", "[INTERNETRESERVE]\nDefaultRateCode=CORP\n");
    EXPECT_EQ(fw::ReadProfileString(path, "INTERNETRESERVE", "DefaultRateCode", "", 100), "CORP");
    EXPECT_EQ(
        fw::ReadProfileString(dir.File("none.ini"), "INTERNETRESERVE", "DefaultRateCode", "d", 100),
        "d");
    EXPECT_EQ(fw::ReadProfileString(dir.Path(), "s", "k", "d", 100), "d");

    // Why a file reads as defaults; a FIFO is not waited on.
    ASSERT_EQ(mkfifo(dir.File("fifo").c_str(), 0600), 0);
    EXPECT_EQ(fw::ProfileReadError(path), 0);
    EXPECT_EQ(fw::ProfileReadError(dir.File("none.ini")), ENOENT);
    EXPECT_EQ(fw::ProfileReadError(dir.Path()), EISDIR);
    EXPECT_EQ(fw::ProfileReadError(dir.File("fifo")), EINVAL);
}

TEST(ProfileFile, DirectoryComesFromTheEnvironment) {
    {
        ScopedEnv env("VELMAR_INI_DIR", nullptr);
        EXPECT_EQ(fw::ProfileDirectory(), "/etc");
    }
    {
        ScopedEnv env("VELMAR_INI_DIR", "");
        EXPECT_EQ(fw::ProfileDirectory(), "/etc");
    }
    ts::TempDir dir;
    dir.Write("velmar.ini", "[INTERNETRESERVE]\n" + Gbk("商务间") + " = \"BIZ\"\n");
    ScopedEnv env("VELMAR_INI_DIR", dir.Path().c_str());
    EXPECT_EQ(fw::ProfileDirectory(), dir.Path());
    EXPECT_EQ(fw::PrivateProfilePath("velmar.ini"), dir.Path() + "/velmar.ini");
    EXPECT_EQ(fw::GetPrivateProfileString("INTERNETRESERVE", Gbk("商务间"), "", 100, "velmar.ini"),
              "BIZ");
    EXPECT_EQ(fw::GetPrivateProfileString("INTERNETRESERVE", "x", "", 100, "missing.ini"), "");
}
