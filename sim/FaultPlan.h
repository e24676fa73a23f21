#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace zqsim {

// Line faults spoil any answer. Content faults make a well-formed answer
// (CRC made good) that is not the right answer to its request; each strikes
// only answers of its own function: Empty and WrongKind function 65, Rings
// function 4, Echo function 16. Late holds the answer, unchanged, for `ms`
// more (a link that stalls, then delivers); the device answers the
// requests that came meanwhile after it, in order.
enum class FaultKind {
    Drop,
    Crc,
    Truncate,
    Garbage,
    Exception,
    Empty,
    WrongKind,
    Rings,
    Echo,
    Late
};

// One kind of answer fault and when it strikes: on each eligible answer
// with `probability`, at most `count` times (-1 = no limit), from request
// number `from` on (1-based, counting requests addressed to the device),
// only for `function` (-1 = every function).
struct FaultRule {
    FaultKind kind = FaultKind::Drop;
    double probability = 1.0;
    int count = -1;
    int from = 1;
    int function = -1;
    uint8_t code = 4;   // exception code for FaultKind::Exception
    int holdMs = 6000;  // FaultKind::Late: how much longer the answer takes

    // "KIND[:KEY=VALUE,...]" with KIND drop|crc|truncate|garbage|exception|
    // empty|kind|rings|echo|late and KEY p|n|from|fn|code|ms. A rule with n
    // but no p strikes every time until n is used up; one with neither
    // strikes every time.
    static bool Parse(const std::string& text, FaultRule& rule, std::string& error);
};

const char* FaultName(FaultKind kind);

// Applies the fault rules to answers, reproducibly from a seed.
class FaultPlan {
public:
    FaultPlan(std::vector<FaultRule> rules, uint64_t seed);

    // Changes `answer` to request `requestNumber` (1-based) as the rules say;
    // an empty result means no answer. `applied` lists the faults used;
    // `holdMs`, when given, receives how much later than usual the answer
    // goes out.
    void Apply(int requestNumber, std::vector<uint8_t>& answer, std::vector<std::string>& applied,
               int* holdMs = nullptr);

private:
    bool Strikes(FaultRule& rule, int used, int requestNumber, const std::vector<uint8_t>& answer);
    double Unit();

    std::vector<FaultRule> rules_;
    std::vector<int> used_;
    std::mt19937_64 engine_;
};

}  // namespace zqsim
