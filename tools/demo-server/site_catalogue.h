#pragma once

#include <cstdint>
#include <random>
#include <string>

namespace olvex::demo {

// The made-up web shop the simulated visitors browse, and what they say.
// Every choice comes from the generator passed in, so a seed fixes it all.
struct PageView {
    std::string url;
    std::string title;
};

class SiteCatalogue {
public:
    static PageView Page(std::mt19937& rng);
    // The page a visitor moves to from `current`: mostly a different one.
    static PageView NextPage(std::mt19937& rng, const std::string& current);
    static std::string VisitorName(std::mt19937& rng);
    static std::string Referrer(std::mt19937& rng);
    static std::string IpAddress(std::mt19937& rng);
    static std::string LoadTime(std::mt19937& rng);
    static std::string Question(std::mt19937& rng);
    static std::string Reply(std::mt19937& rng);
};

// A number in [low, high], drawn the same way on every standard library.
int32_t Draw(std::mt19937& rng, int32_t low, int32_t high);

} // namespace olvex::demo
