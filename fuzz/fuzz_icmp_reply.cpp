// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzer for the ICMP echo reply matching of both families, raw and datagram
// sockets. Each datagram sits in a heap block of exactly its size, so any read
// past its end is caught. The verdict is compared with the rule as the client
// applies it (own request and foreign identifiers skipped, an IPv4 message of
// another type carrying our identifier is a failure); a request built from the
// same bytes must checksum to zero and match once turned into a reply.
#include "net/echo/icmp_packet.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fuzzer/FuzzedDataProvider.h>
#include <string>
#include <string_view>
#include <vector>

namespace {

using pingvard::TEchoExpectation;
using pingvard::TEchoMatch;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "icmp reply: %s\n", what);
    std::abort();
}

uint16_t Le16(std::string_view bytes, std::size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(bytes[at]) |
                                 static_cast<uint8_t>(bytes[at + 1]) << 8);
}

TEchoMatch Oracle(std::string_view datagram, const TEchoExpectation& expect) {
    std::size_t at = 0;
    if (!expect.IPv6 && !expect.Datagram) {
        if (datagram.empty() || (static_cast<uint8_t>(datagram[0]) & 0x0F) < 5) {
            return TEchoMatch::Skip;
        }
        at = (static_cast<uint8_t>(datagram[0]) & 0x0F) * 4U;
    }
    if (datagram.size() < at + 12) {
        return TEchoMatch::Skip;
    }
    const auto type = static_cast<uint8_t>(datagram[at]);
    const uint8_t request = expect.IPv6 ? 128 : 8;
    const uint8_t reply = expect.IPv6 ? 129 : 0;
    if (expect.Datagram) {
        return type == reply && Le16(datagram, at + 6) == expect.Sequence ? TEchoMatch::Reply
                                                                          : TEchoMatch::Skip;
    }
    if (type == request || Le16(datagram, at + 4) != expect.Identifier) {
        return TEchoMatch::Skip;
    }
    if (type == reply) {
        return TEchoMatch::Reply;
    }
    return expect.IPv6 ? TEchoMatch::Skip : TEchoMatch::Failure;
}

void CheckDatagram(const std::vector<char>& block, const TEchoExpectation& expect) {
    const std::string_view datagram(block.data(), block.size());
    const int offset = pingvard::EchoHeaderOffset(datagram, expect);
    if (offset >= 0 && static_cast<std::size_t>(offset) + 12 > datagram.size()) {
        Fail("the header offset leaves no room for the echo header");
    }
    const TEchoMatch match = pingvard::MatchEcho(datagram, expect);
    if (match != Oracle(datagram, expect)) {
        Fail("the verdict differs from the matching rule");
    }
    if (match == TEchoMatch::Reply) {
        if (offset < 0) {
            Fail("a reply without a header");
        }
        (void)pingvard::ReadLe32(datagram, static_cast<std::size_t>(offset) + 8); // the send tick
    }
}

void CheckRequest(FuzzedDataProvider& input) {
    pingvard::TEchoFields fields;
    fields.Type = input.ConsumeBool() ? pingvard::kIcmp6EchoRequest : pingvard::kIcmpEchoRequest;
    fields.Identifier = input.ConsumeIntegral<uint16_t>();
    fields.Sequence = input.ConsumeIntegral<uint16_t>();
    fields.Tick = input.ConsumeIntegral<uint32_t>();
    fields.PayloadSize = input.ConsumeIntegralInRange<int32_t>(-4, 1500);
    std::string request = pingvard::BuildEchoRequest(fields);
    const std::size_t size = 12 + static_cast<std::size_t>(std::max(fields.PayloadSize, 0));
    if (request.size() != size || request.find_first_not_of('\x55', 12) != std::string::npos) {
        Fail("a request of the wrong size or fill");
    }
    pingvard::StoreChecksum(request, pingvard::InternetChecksum(request));
    if (pingvard::InternetChecksum(request) != 0) {
        Fail("a request with its checksum does not sum to zero");
    }
    TEchoExpectation expect;
    expect.IPv6 = fields.Type == pingvard::kIcmp6EchoRequest;
    expect.Identifier = fields.Identifier;
    expect.Sequence = fields.Sequence;
    request[0] =
        static_cast<char>(expect.IPv6 ? pingvard::kIcmp6EchoReply : pingvard::kIcmpEchoReply);
    std::string datagram = request;
    if (!expect.IPv6) {
        datagram = std::string(20, '\0') + request;
        datagram[0] = 0x45;
    }
    if (pingvard::MatchEcho(datagram, expect) != TEchoMatch::Reply) {
        Fail("the reply to a request does not match it");
    }
    if (pingvard::ReadLe32(datagram, datagram.size() - request.size() + 8) != fields.Tick) {
        Fail("the send tick does not come back");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    TEchoExpectation expect;
    expect.IPv6 = input.ConsumeBool();
    expect.Datagram = input.ConsumeBool();
    expect.Identifier = input.ConsumeIntegral<uint16_t>();
    expect.Sequence = input.ConsumeIntegral<uint16_t>();
    if (input.ConsumeBool()) {
        CheckRequest(input);
    }
    const std::vector<char> block = [&] {
        const std::string bytes = input.ConsumeRemainingBytesAsString();
        return std::vector<char>(bytes.begin(), bytes.end());
    }();
    CheckDatagram(block, expect);
    return 0;
}
