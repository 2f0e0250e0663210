#include "support/APRSParser.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <clocale>
#include <cstddef>
#include <iterator>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <string>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace support;

namespace {

// The patterns are built once for the whole test program, as at start-up.
class AprsPatterns : public ::testing::Test {
protected:
    static void SetUpTestSuite() { InitializeAprsPatterns(); }
    static void TearDownTestSuite() { FinalizeAprsPatterns(); }

    static std::optional<TRegExMatch> Find(TAprsPattern pattern, std::string_view subject) {
        return AprsPattern(pattern).Match(subject);
    }
};

} // namespace

TEST_F(AprsPatterns, StartUpStudiesEveryPatternWithMultiLine) {
    ASSERT_TRUE(AprsPatternsReady());
    for (std::size_t i = 0; i < kAprsPatternCount; ++i) {
        const TPerlRegEx& regex = AprsPattern(static_cast<TAprsPattern>(i));
        EXPECT_TRUE(regex.Studied()) << i;
        EXPECT_EQ(regex.PcreOptions(), 0x2u) << i;
        EXPECT_EQ(regex.RegEx(), AprsPatternText(static_cast<TAprsPattern>(i)));
    }
    EXPECT_EQ(AprsPatternText(TAprsPattern::MonitorLine),
              R"(([\w-]{1,9})>([\w-]{1,9})(?:,(.*?))?:(.?)(.*))");
    EXPECT_EQ(DirectivityNames[0], "OMNI");
    EXPECT_EQ(DirectivityNames[9], "");
}

TEST_F(AprsPatterns, MonitorLineGroups) {
    auto m = Find(TAprsPattern::MonitorLine,
                  "DL1ABC-9>APU25N,WIDE1-1,qAR,DB0XYZ:=4807.12N/01131.52E-Test");
    ASSERT_TRUE(m);
    EXPECT_EQ(m->Group(1), "DL1ABC-9");
    EXPECT_EQ(m->Group(2), "APU25N");
    EXPECT_EQ(m->Group(3), "WIDE1-1,qAR,DB0XYZ");
    EXPECT_EQ(m->Group(4), "=");
    EXPECT_EQ(m->Group(5), "4807.12N/01131.52E-Test");

    // No path: group 3 unset; nothing after the colon: 4 and 5 set but empty.
    m = Find(TAprsPattern::MonitorLine, "N0CALL>APRS:");
    ASSERT_TRUE(m);
    EXPECT_FALSE(m->IsSet(3));
    EXPECT_EQ(m->Group(4), "");
    EXPECT_EQ(m->Group(5), "");

    // A colon inside the path ends it.
    m = Find(TAprsPattern::MonitorLine, "N0CALL>APRS,TCPIP*,qAS,2001:db8::1:>status");
    ASSERT_TRUE(m);
    EXPECT_EQ(m->Group(3), "TCPIP*,qAS,2001");
    EXPECT_EQ(m->Group(4), "d");

    // The search is not anchored: an over-long call keeps its last nine characters.
    m = Find(TAprsPattern::MonitorLine, "ABCDEFGHIJK>APRS:>x");
    ASSERT_TRUE(m);
    EXPECT_EQ(m->Group(1), "CDEFGHIJK");

    // The information field ends at the line end.
    m = Find(TAprsPattern::MonitorLine, "N0CALL>APRS:>first\r\nN1CALL>APRS:>second");
    ASSERT_TRUE(m);
    EXPECT_EQ(m->Group(5), "first\r");
    m = AprsPattern(TAprsPattern::MonitorLine)
            .Match("N0CALL>APRS:>first\nN1CALL>APRS:>second", m->End());
    ASSERT_TRUE(m);
    EXPECT_EQ(m->Group(1), "N1CALL");
}

TEST_F(AprsPatterns, FmToViaHeader) {
    auto m = Find(TAprsPattern::FmToVia,
                  "1:Fm DL1ABC-9 To APU25N Via WIDE1-1,DB0XYZ* <UI pid=F0 Len=40 >[12:34:56]\r\n"
                  "!4807.12N/01131.52E-Test");
    ASSERT_TRUE(m);
    EXPECT_EQ(m->Group(1), "DL1ABC-9");
    EXPECT_EQ(m->Group(2), "APU25N");
    EXPECT_EQ(m->Group(3), "WIDE1-1,DB0XYZ*");
    EXPECT_EQ(m->Group(4), "!");
    EXPECT_EQ(m->Group(5), "4807.12N/01131.52E-Test");

    // The path runs up to the last " <" of the header.
    m = Find(TAprsPattern::FmToVia, "2:Fm N0CALL To APRS Via ODD <PATH <UI R >[01:02:03]\r\n>hi");
    ASSERT_TRUE(m);
    EXPECT_EQ(m->Group(3), "ODD <PATH");

    EXPECT_FALSE(Find(TAprsPattern::FmToVia, "1:Fm N0CALL To APRS <UI pid=F0 >[12:00:00]\r\n>x"));
    EXPECT_FALSE(Find(TAprsPattern::FmToVia, "1:Fm N0CALL To APRS Via W1 <UI >[12:00:00] \r\n>x"));
    EXPECT_FALSE(Find(TAprsPattern::FmToVia, "1:Fm N0CALL To APRS Via W1 <UI >[12:00:00]\n>x"));
}

TEST_F(AprsPatterns, WeatherFields) {
    const std::string report = "_10090556c220s004g005t077r000p...P   h50b09900wRSW";
    auto m = Find(TAprsPattern::WxTimestamp, report);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->Group("wx_mdhm"), "10090556");
    EXPECT_EQ(m->Group("no_such_group"), std::nullopt);
    m = Find(TAprsPattern::WxTimestamp, "T#123456789012");
    ASSERT_TRUE(m);
    EXPECT_EQ(m->Group("wx_mdhm"), "12345678");

    m = Find(TAprsPattern::WxTemperature, report);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->Group(1), "t077");
    EXPECT_FALSE(m->IsSet(2));
    EXPECT_FALSE(m->IsSet(3));
    EXPECT_FALSE(Find(TAprsPattern::WxTemperature, "c220s004g005t-05r000"));
    m = Find(TAprsPattern::WxTemperature, "c...s...g...t   ");
    ASSERT_TRUE(m);
    EXPECT_EQ(m->Group(3), "t   ");

    // Field letters are case-sensitive: "p" and "P" are different fields.
    m = Find(TAprsPattern::WxRain24h, report);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->Group(2), "p...");
    m = Find(TAprsPattern::WxRainMidnight, report);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->Group(3), "P   ");
    m = Find(TAprsPattern::WxPressure, report);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->Group(1), "b09900");

    m = Find(TAprsPattern::CourseSpeed, "!4807.12N/01131.52E>088/036/A=001234");
    ASSERT_TRUE(m);
    EXPECT_EQ(m->Group(1), "088");
    EXPECT_EQ(m->Group(2), "036");
}

TEST_F(AprsPatterns, LocaleOfTheProgramIsUntouchedByTheTables) {
    const std::string before = std::setlocale(LC_CTYPE, nullptr);
    TPerlRegEx regex;
    EXPECT_EQ(std::string(std::setlocale(LC_CTYPE, nullptr)), before);
    // The test environment has only the C and C.UTF-8 locales, neither of
    // which makes a byte above 127 a letter.
    regex.SetRegEx(R"(^\w+$)");
    EXPECT_TRUE(regex.Match("ABC_9"));
    EXPECT_FALSE(regex.Match("Caf\xE9"));
}

TEST(AprsPatternsLifetime, FinalizeReleasesAndInitializeRebuilds) {
    FinalizeAprsPatterns();
    EXPECT_FALSE(AprsPatternsReady());
    EXPECT_THROW(AprsPattern(TAprsPattern::MonitorLine), std::logic_error);
    InitializeAprsPatterns();
    InitializeAprsPatterns(); // a second call keeps the set
    EXPECT_TRUE(AprsPattern(TAprsPattern::CourseSpeed).Studied());
    FinalizeAprsPatterns();
    FinalizeAprsPatterns();
    EXPECT_FALSE(AprsPatternsReady());
}

TEST(PerlRegEx, CompileErrorsCarryTheirExactTexts) {
    TPerlRegEx regex;
    try {
        regex.Compile();
        FAIL();
    } catch (const EPerlRegExError& error) {
        EXPECT_STREQ(error.what(),
                     "TPerlRegEx.Compile() - Please specify a regular expression in RegEx first");
    }
    regex.SetRegEx("ab(c");
    try {
        regex.Study();
        FAIL();
    } catch (const EPerlRegExError& error) {
        EXPECT_STREQ(
            error.what(),
            "TPerlRegEx.Compile() - Error in regex at offset 4: missing closing parenthesis");
    }
    EXPECT_FALSE(regex.Compiled());
    EXPECT_FALSE(regex.Studied());
    regex.SetRegEx("a{2,1}");
    EXPECT_THROW(regex.Compile(), EPerlRegExError);
    EXPECT_THROW(regex.Match("aa"), EPerlRegExError);
}

TEST(PerlRegEx, ChangesReleaseTheCompiledState) {
    TPerlRegEx regex;
    regex.SetRegEx("abc");
    regex.Study();
    ASSERT_TRUE(regex.Compiled());
    ASSERT_TRUE(regex.Studied());

    regex.SetRegEx("abc");
    regex.SetOptions({});
    EXPECT_TRUE(regex.Studied()); // equal values change nothing

    regex.SetOptions({TPerlRegExOption::preCaseLess});
    EXPECT_FALSE(regex.Compiled());
    EXPECT_FALSE(regex.Studied());
    EXPECT_EQ(regex.PcreOptions(), 0x1u);
    EXPECT_TRUE(regex.Match("xABCx")); // compiles on demand with the new option

    regex.Study();
    regex.SetRegEx("abd");
    EXPECT_FALSE(regex.Compiled());
    EXPECT_FALSE(regex.Studied());

    EXPECT_EQ(PcreOptionBits({TPerlRegExOption::preCaseLess, TPerlRegExOption::preMultiLine,
                              TPerlRegExOption::preSingleLine, TPerlRegExOption::preExtended,
                              TPerlRegExOption::preAnchored, TPerlRegExOption::preDollarEndOnly,
                              TPerlRegExOption::preExtra, TPerlRegExOption::preUnGreedy}),
              0x27Fu);
}

TEST(PerlRegEx, OptionsChangeWhatMatches) {
    TPerlRegEx regex;
    regex.SetRegEx("a.+b");
    auto m = regex.Match("a1b2b\na3b");
    ASSERT_TRUE(m);
    EXPECT_EQ(m->Group(0), "a1b2b");

    regex.SetOptions({TPerlRegExOption::preUnGreedy});
    EXPECT_EQ(regex.Match("a1b2b")->Group(0), "a1b");

    regex.SetOptions({TPerlRegExOption::preSingleLine});
    EXPECT_EQ(regex.Match("a1\nb")->Group(0), "a1\nb");

    regex.SetRegEx("^b");
    regex.SetOptions({});
    EXPECT_FALSE(regex.Match("a\nb"));
    regex.SetOptions({TPerlRegExOption::preMultiLine});
    EXPECT_EQ(regex.Match("a\nb")->Offset(0), 2u);

    regex.SetRegEx("b");
    regex.SetOptions({TPerlRegExOption::preAnchored});
    EXPECT_FALSE(regex.Match("ab"));
    EXPECT_TRUE(regex.Match("ab", 1));
    EXPECT_THROW(regex.Match("ab", 3), EPerlRegExError);
}

namespace {

/// Makes this process refuse memory that is to be executable, as SELinux's
/// deny_execmem or a hardened kernel does: mmap and mprotect with PROT_EXEC
/// fail with EACCES from now on.
bool RefuseExecutableMemory() {
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_mmap, 2, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_mprotect, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[2])),
        BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, PROT_EXEC, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (EACCES & SECCOMP_RET_DATA)),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
    return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

} // namespace

TEST(PerlRegEx, StudiesWhereExecutableMemoryIsRefused) {
#if !defined(__x86_64__)
    GTEST_SKIP() << "the filter is written for x86-64";
#endif
    // JIT is then not to be had; the patterns study all the same and match
    // in the interpreter. Exit codes: 0 fine, 1 start-up failed, 2 JIT was
    // had after all (the filter did not work), 3 no filter, 4 no match.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (!RefuseExecutableMemory())
            _exit(3);
        try {
            support::InitializeAprsPatterns();
            support::TPerlRegEx regex;
            regex.SetRegEx("(t\\d{3})");
            regex.Study();
            if (regex.JitCompiled())
                _exit(2);
            const auto& pattern = support::AprsPattern(support::TAprsPattern::MonitorLine);
            if (!regex.Match("wx t072 h50") || !pattern.Studied())
                _exit(4);
        } catch (...) {
            _exit(1);
        }
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 3)
        GTEST_SKIP() << "this kernel cannot filter system calls";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
