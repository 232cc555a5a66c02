#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <string>

// The delays of a LoginThrottle: the first, the longest, and the quiet time after which
// an address is forgotten.
struct LoginDelays {
    std::chrono::milliseconds first = std::chrono::seconds(1);
    std::chrono::milliseconds longest = std::chrono::seconds(8);
    std::chrono::milliseconds forgetAfter = std::chrono::minutes(10);
};

// Failed logins by client address, shared by every session of the server. Each failure
// from an address pushes that address's next answer later by a delay that doubles with
// its failures (1 s, 2 s, 4 s, then 8 s each), and every login from the address whose
// secret was checked, right or wrong, is answered no sooner. So guesses from one
// address are answered one after another at that pace however many connections carry
// them, and once an address has failed, a client there cannot tell a wrong guess from
// a right one by not waiting for the answer; other addresses are never held. An address is forgotten at a correct login, or once its
// last answer lies `forgetAfter` in the past. Times are passed in, so nothing here waits.
class LoginThrottle {
public:
    using Clock = std::chrono::steady_clock;

    explicit LoginThrottle(LoginDelays delays = {}) : delays_(delays) {}

    // A login from the address whose secret was checked at `now`: when its answer may
    // go out.
    Clock::time_point Checked(const std::string& address, bool correct, Clock::time_point now);

    // The failures remembered for the address.
    int Failures(const std::string& address) const;

private:
    struct Record {
        int failures = 0;
        Clock::time_point next;  // no answer to this address before
    };
    // Addresses remembered at most; beyond, the longest quiet ones are let go first.
    static constexpr std::size_t kMaxAddresses = 4096;

    void Prune(Clock::time_point now);

    const LoginDelays delays_;
    mutable std::mutex mutex_;
    std::map<std::string, Record> records_;
};
