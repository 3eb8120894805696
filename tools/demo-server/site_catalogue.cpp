#include "site_catalogue.h"

#include <array>
#include <cstdio>
#include <string_view>

namespace olvex::demo {

namespace {

constexpr std::string_view kSite = "http://www.larkspur-outdoor.example";

struct PageTemplate {
    std::string_view path;
    std::string_view title;
};

constexpr std::array<PageTemplate, 24> kPages{{
    {"/", "Larkspur Outdoor Supply - Gear for every trail"},
    {"/tents/", "Tents - Larkspur Outdoor Supply"},
    {"/tents/ridgeline-2.html", "Ridgeline 2 Backpacking Tent - Larkspur"},
    {"/tents/basecamp-6.html", "Basecamp 6 Family Tent - Larkspur"},
    {"/sleeping-bags/", "Sleeping Bags - Larkspur Outdoor Supply"},
    {"/sleeping-bags/summit-down-20.html", "Summit Down 20 Sleeping Bag - Larkspur"},
    {"/boots/", "Hiking Boots - Larkspur Outdoor Supply"},
    {"/boots/granite-mid-gtx.html", "Granite Mid Waterproof Boot - Larkspur"},
    {"/boots/size-guide.html", "Boot Size Guide - Larkspur"},
    {"/packs/", "Backpacks - Larkspur Outdoor Supply"},
    {"/packs/trailhead-45.html", "Trailhead 45L Pack - Larkspur"},
    {"/stoves/alpine-burner.html", "Alpine Burner Camp Stove - Larkspur"},
    {"/jackets/stormshell.html", "Stormshell Rain Jacket - Larkspur"},
    {"/sale/", "Seasonal Sale - up to 40% off - Larkspur"},
    {"/cart.html", "Your Cart - Larkspur Outdoor Supply"},
    {"/checkout/shipping.html", "Checkout: Shipping - Larkspur"},
    {"/checkout/payment.html", "Checkout: Payment - Larkspur"},
    {"/help/returns.html", "Returns and Exchanges - Larkspur"},
    {"/help/shipping-rates.html", "Shipping Rates - Larkspur"},
    {"/help/contact.html", "Contact Us - Larkspur Outdoor Supply"},
    {"/search.html?q=water+filter", "Search results: water filter - Larkspur"},
    {"/blog/first-overnight-hike.html", "Planning your first overnight hike - Larkspur Journal"},
    {"/stores/", "Find a Store - Larkspur Outdoor Supply"},
    {"/account/orders.html", "My Orders - Larkspur Outdoor Supply"},
}};

constexpr std::array<std::string_view, 30> kFirstNames{
    "Emma",  "Liam",  "Olivia", "Noah",  "Ava",  "Mateo", "Sofia", "Lucas", "Mia",   "Ethan",
    "Chloe", "Jonas", "Aisha",  "Ravi",  "Yuki", "Lena",  "Oscar", "Nora",  "Felix", "Ingrid",
    "Tomas", "Priya", "Hugo",   "Clara", "Omar", "Zoe",   "Marco", "Hanna", "Kenji", "Elsa"};

constexpr std::string_view kInitials = "ABCDEFGHIJKLMNOPRSTVW";

constexpr std::array<std::string_view, 9> kReferrers{
    "",
    "",
    "http://search.example.com/results?q=lightweight+tent",
    "http://search.example.com/results?q=waterproof+hiking+boots",
    "http://search.example.org/?query=camp+stove+review",
    "http://www.trailtalk.example/forum/gear/3381",
    "http://news.example.net/outdoors/best-sleeping-bags",
    "http://mail.example.net/newsletter/spring",
    "http://www.larkspur-outdoor.example/sale/",
};

constexpr std::array<std::string_view, 10> kQuestions{
    "Do you ship to Canada?",
    "Is the Ridgeline 2 in stock in green?",
    "My order has not arrived yet.",
    "Which boot size should I pick?",
    "Can I return a used sleeping bag?",
    "Is there a discount for clubs?",
    "How heavy is the Trailhead 45?",
    "I cannot finish the checkout.",
    "Do the stores sell gas canisters?",
    "Hello, is anyone there?",
};

constexpr std::array<std::string_view, 14> kReplies{
    "Thanks, that helps.",
    "OK, let me check that.",
    "Sorry, could you explain that again?",
    "Great! How long would delivery take?",
    "Is there a cheaper option?",
    "I see. And what about the warranty?",
    "Perfect, I will order it now.",
    "Hmm, the page still shows an error.",
    "Can you send me a link?",
    "My order number is 40718.",
    "Does it come in a larger size?",
    "That is what I was looking for.",
    "Thank you very much!",
    "One more question, if you don't mind.",
};

template <typename T, size_t N> const T& Pick(std::mt19937& rng, const std::array<T, N>& bank) {
    return bank[size_t(Draw(rng, 0, int32_t(N) - 1))];
}

} // namespace

int32_t Draw(std::mt19937& rng, int32_t low, int32_t high) {
    if (high <= low)
        return low;
    const uint64_t span = uint64_t(int64_t(high) - int64_t(low)) + 1;
    return int32_t(int64_t(low) + int64_t(uint64_t(rng()) % span));
}

PageView SiteCatalogue::Page(std::mt19937& rng) {
    const PageTemplate& page = Pick(rng, kPages);
    return {std::string(kSite) + std::string(page.path), std::string(page.title)};
}

PageView SiteCatalogue::NextPage(std::mt19937& rng, const std::string& current) {
    PageView next = Page(rng);
    if (next.url == current)
        next = Page(rng);
    return next;
}

std::string SiteCatalogue::VisitorName(std::mt19937& rng) {
    std::string name(Pick(rng, kFirstNames));
    name += ' ';
    name += kInitials[size_t(Draw(rng, 0, int32_t(kInitials.size()) - 1))];
    name += '.';
    return name;
}

std::string SiteCatalogue::Referrer(std::mt19937& rng) {
    return std::string(Pick(rng, kReferrers));
}

std::string SiteCatalogue::IpAddress(std::mt19937& rng) {
    // Addresses from the ranges set aside for documentation.
    static constexpr std::array<std::string_view, 3> kNets{"192.0.2.", "198.51.100.", "203.0.113."};
    return std::string(Pick(rng, kNets)) + std::to_string(Draw(rng, 1, 254));
}

std::string SiteCatalogue::LoadTime(std::mt19937& rng) {
    char text[16];
    int ms = Draw(rng, 120, 3400);
    std::snprintf(text, sizeof text, "%d.%02d s", ms / 1000, (ms % 1000) / 10);
    return text;
}

std::string SiteCatalogue::Question(std::mt19937& rng) {
    return std::string(Pick(rng, kQuestions));
}

std::string SiteCatalogue::Reply(std::mt19937& rng) {
    return std::string(Pick(rng, kReplies));
}

} // namespace olvex::demo
