// The gate without a server: which Host names and which spellings of the
// bearer token it lets through.
#include <gtest/gtest.h>

#include "remote/RequestGate.h"

namespace {

constexpr const char* kToken = "gate-test-token-0123456789";

GateHeaders Headers(std::string_view host, std::string_view authorization = {}, std::string_view origin = {})
{
    GateHeaders headers{};
    headers.host = host;
    headers.authorization = authorization;
    headers.origin = origin;
    return headers;
}

bool PageAllowed(const RequestGate& gate, std::string_view host) { return !gate.RefusePage(Headers(host)); }

TEST(RequestGate, OnPort80AHostNameWithoutAPortNamesTheLocalHost)
{
    const RequestGate onPort80("", 80);
    for (const char* host : {"localhost", "127.0.0.1", "[::1]", "localhost:80"})
        EXPECT_TRUE(PageAllowed(onPort80, host)) << host;
    for (const char* host : {"localhost:8074", "evil.example", "", "localhost:"})
        EXPECT_FALSE(PageAllowed(onPort80, host)) << host;
    const RequestGate elsewhere("", 8074);
    EXPECT_TRUE(PageAllowed(elsewhere, "localhost:8074"));
    EXPECT_FALSE(PageAllowed(elsewhere, "localhost"));
    EXPECT_FALSE(PageAllowed(elsewhere, "localhost:80"));
    // A browser names the page's origin without the default port.
    EXPECT_FALSE(onPort80.RefuseApi(Headers("localhost", {}, "http://localhost")));
}

TEST(RequestGate, TheBearerSchemeIsMatchedWithoutRegardToCase)
{
    const RequestGate gate(kToken, 8074);
    const std::string token = kToken;
    for (const std::string& given : {"Bearer " + token, "bearer " + token, "BEARER " + token, "bEaReR  " + token})
        EXPECT_FALSE(gate.RefuseApi(Headers("h", given))) << given;
    for (const std::string& given :
         {"Basic " + token, "Bearer" + token, "Bearer " + token + "x", token, std::string()}) {
        const std::optional<ApiResponse> refused = gate.RefuseApi(Headers("h", given));
        ASSERT_TRUE(refused) << given;
        EXPECT_EQ(refused->status, 401) << given;
    }
}

TEST(RequestGate, AGivenTokenIs16To128LettersDigitsDashesOrUnderscores)
{
    EXPECT_TRUE(ValidToken(std::string(16, 'a')));
    EXPECT_TRUE(ValidToken(std::string(128, 'Z')));
    EXPECT_TRUE(ValidToken("token-with_all-0123456789"));
    EXPECT_FALSE(ValidToken(std::string(15, 'a')));
    EXPECT_FALSE(ValidToken(std::string(129, 'a')));
    EXPECT_FALSE(ValidToken("token with a space"));
    EXPECT_FALSE(ValidToken("token#that-ends-an-address"));
    EXPECT_EQ(NewToken().size(), 32u);
    EXPECT_TRUE(ValidToken(NewToken()));
}

}  // namespace
