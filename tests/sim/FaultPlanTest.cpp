#include "Crc16.h"
#include "FaultPlan.h"
#include "SimFrames.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace zqsim;

namespace {

const std::vector<uint8_t> kAnswer = WithCrc({1, 0x11, 8, 'R', 'O', 'R', 'I', 'Z', 'Q', 1, 0});

TEST(FaultRule, ParsesKindsAndSettings) {
    struct Row {
        const char* text;
        FaultKind kind;
        double p;
        int n;
        int from;
        int fn;
        int code;
    } rows[] = {
        {"drop", FaultKind::Drop, 1.0, -1, 1, -1, 4},
        {"crc:p=0.25", FaultKind::Crc, 0.25, -1, 1, -1, 4},
        {"truncate:n=2", FaultKind::Truncate, 1.0, 2, 1, -1, 4},
        {"garbage:p=0.5,n=3", FaultKind::Garbage, 0.5, 3, 1, -1, 4},
        {"exception:code=6,from=3,fn=65", FaultKind::Exception, 1.0, -1, 3, 65, 6},
    };
    for (const Row& row : rows) {
        FaultRule r;
        std::string error;
        ASSERT_TRUE(FaultRule::Parse(row.text, r, error)) << row.text << ": " << error;
        EXPECT_EQ(r.kind, row.kind) << row.text;
        EXPECT_EQ(r.probability, row.p) << row.text;
        EXPECT_EQ(r.count, row.n) << row.text;
        EXPECT_EQ(r.from, row.from) << row.text;
        EXPECT_EQ(r.function, row.fn) << row.text;
        EXPECT_EQ(r.code, row.code) << row.text;
    }
    for (const char* bad : {"boom", "drop:p=2", "drop:p=", "drop:x=1", "crc:n=-1", "drop:from=0",
                            "exception:code=300", "drop:n=1,", "drop:", "Drop"}) {
        FaultRule r;
        std::string error;
        EXPECT_FALSE(FaultRule::Parse(bad, r, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

FaultRule Rule(const char* text) {
    FaultRule r;
    std::string error;
    EXPECT_TRUE(FaultRule::Parse(text, r, error)) << error;
    return r;
}

TEST(FaultPlan, EachKindSpoilsTheAnswerItsOwnWay) {
    struct Row {
        const char* rule;
        std::function<void(const std::vector<uint8_t>&)> check;
    } rows[] = {
        {"drop", [](const auto& a) { EXPECT_TRUE(a.empty()); }},
        {"crc",
         [](const auto& a) {
             ASSERT_EQ(a.size(), kAnswer.size());
             EXPECT_TRUE(std::equal(a.begin(), a.end() - 2, kAnswer.begin()));
             EXPECT_FALSE(CheckFrameCrc(a.data(), a.size()));
         }},
        {"truncate",
         [](const auto& a) {
             ASSERT_GE(a.size(), 1u);
             ASSERT_LT(a.size(), kAnswer.size());
             EXPECT_TRUE(std::equal(a.begin(), a.end(), kAnswer.begin()));
         }},
        {"garbage",
         [](const auto& a) {
             ASSERT_GT(a.size(), kAnswer.size());
             ASSERT_LE(a.size(), kAnswer.size() + 8);
             EXPECT_TRUE(std::equal(kAnswer.begin(), kAnswer.end(), a.end() - kAnswer.size()));
         }},
        {"exception:code=6",
         [](const auto& a) {
             EXPECT_EQ(a, WithCrc({1, 0x91, 6}));
         }},
    };
    for (const Row& row : rows) {
        for (uint64_t seed = 1; seed <= 20; ++seed) {
            FaultPlan plan({Rule(row.rule)}, seed);
            std::vector<uint8_t> answer = kAnswer;
            std::vector<std::string> applied;
            plan.Apply(1, answer, applied);
            SCOPED_TRACE(std::string(row.rule) + " seed " + std::to_string(seed));
            row.check(answer);
            EXPECT_EQ(applied.size(), 1u);
        }
    }
}

// The content faults: a well-formed answer (good CRC) that is not the right
// one; only answers of their function are struck, and only those count.
TEST(FaultPlan, ContentFaultsMakeWellFormedWrongAnswers) {
    using Frame = std::vector<uint8_t>;
    Frame record(16, 0x21);
    Frame archive = {1, 65, 3, 0, 0x1E, 0, 2};
    archive.insert(archive.end(), record.begin(), record.end());
    archive.insert(archive.end(), record.begin(), record.end());
    Frame kindZero = archive;
    kindZero[2] = 0;
    Frame input = {1, 4, 128};
    input.resize(3 + 128, 0x77);
    Frame oneSlotRings = input;
    for (int ring = 0; ring < 4; ++ring) {
        const size_t at = 3 + 2 * (6 + 3 * ring);
        const uint8_t regs[6] = {0, 0, 0, 2, 0, 0};
        std::copy(regs, regs + 6, oneSlotRings.begin() + static_cast<long>(at));
    }
    const struct {
        const char* rule;
        Frame answer;
        Frame expected;
    } rows[] = {
        {"empty", WithCrc(archive), WithCrc({1, 65, 3, 0, 0x1E, 0, 0})},
        {"kind", WithCrc(archive), WithCrc(kindZero)},
        {"rings", WithCrc(input), WithCrc(oneSlotRings)},
        {"echo", WithCrc({1, 16, 0, 0xFF, 0, 4}), WithCrc({1, 16, 1, 0x00, 0, 4})},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.rule);
        FaultPlan plan({Rule((std::string(row.rule) + ":n=1").c_str())}, 1);
        std::vector<std::string> applied;
        // Another function, or the exception form of its own: untouched.
        for (const Frame& other :
             {kAnswer, WithCrc({1, static_cast<uint8_t>(row.answer[1] | 0x80), 2})}) {
            Frame a = other;
            plan.Apply(1, a, applied);
            EXPECT_EQ(a, other);
        }
        EXPECT_TRUE(applied.empty());
        Frame a = row.answer;
        plan.Apply(2, a, applied);
        EXPECT_EQ(a, row.expected);
        EXPECT_EQ(applied, std::vector<std::string>{row.rule});
        a = row.answer;
        plan.Apply(3, a, applied);
        EXPECT_EQ(a, row.answer);  // n=1 used up
    }
}

// Which of requests 1..count are answered unchanged.
std::vector<bool> Untouched(FaultPlan& plan, int count, uint8_t function = 0x11) {
    std::vector<bool> result;
    for (int request = 1; request <= count; ++request) {
        std::vector<uint8_t> answer = kAnswer;
        answer[1] = function;
        AppendCrc(answer);  // stays a well-formed frame apart from the old CRC
        const std::vector<uint8_t> before = answer;
        std::vector<std::string> applied;
        plan.Apply(request, answer, applied);
        result.push_back(answer == before);
    }
    return result;
}

TEST(FaultPlan, CountFromAndFunctionSelectTheAnswers) {
    FaultPlan counted({Rule("drop:n=2,from=2")}, 1);
    EXPECT_EQ(Untouched(counted, 5), (std::vector<bool>{true, false, false, true, true}));

    FaultPlan archiveOnly({Rule("crc:fn=65")}, 1);
    EXPECT_EQ(Untouched(archiveOnly, 2, 0x11), (std::vector<bool>{true, true}));
    EXPECT_EQ(Untouched(archiveOnly, 2, 65), (std::vector<bool>{false, false}));
}

TEST(FaultPlan, ProbabilityIsReproducibleFromTheSeed) {
    FaultPlan a({Rule("drop:p=0.5")}, 42);
    FaultPlan b({Rule("drop:p=0.5")}, 42);
    FaultPlan c({Rule("drop:p=0.5")}, 43);
    const std::vector<bool> first = Untouched(a, 200);
    EXPECT_EQ(first, Untouched(b, 200));
    EXPECT_NE(first, Untouched(c, 200));
    const auto kept = std::count(first.begin(), first.end(), true);
    EXPECT_GT(kept, 50);
    EXPECT_LT(kept, 150);
}

TEST(FaultPlan, RulesAfterADropOrAOneByteCutDoNothing) {
    FaultPlan plan({Rule("drop"), Rule("garbage")}, 1);
    std::vector<uint8_t> answer = kAnswer;
    std::vector<std::string> applied;
    plan.Apply(1, answer, applied);
    EXPECT_TRUE(answer.empty());
    EXPECT_EQ(applied, (std::vector<std::string>{"drop"}));

    // Truncating twice never cuts below one byte nor reads past it.
    for (uint64_t seed = 1; seed <= 50; ++seed) {
        FaultPlan twice({Rule("truncate"), Rule("truncate"), Rule("exception")}, seed);
        std::vector<uint8_t> a = kAnswer;
        std::vector<std::string> used;
        twice.Apply(1, a, used);
        EXPECT_GE(a.size(), 1u);
    }
}

}  // namespace
