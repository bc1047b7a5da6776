// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <stdexcept>
#include <string>

namespace pingvard {

// Socket error codes kept in LastErrorCode are the Winsock numbers, whatever the
// platform: callers and logs compare against these, never against errno.
inline constexpr int kWsaOk = 0;
inline constexpr int kWsaEintr = 10004, kWsaEbadf = 10009, kWsaEacces = 10013, kWsaEfault = 10014,
                     kWsaEinval = 10022, kWsaEmfile = 10024, kWsaEwouldblock = 10035,
                     kWsaEinprogress = 10036, kWsaEalready = 10037, kWsaEnotsock = 10038,
                     kWsaEdestaddrreq = 10039, kWsaEmsgsize = 10040, kWsaEprototype = 10041,
                     kWsaEnoprotoopt = 10042, kWsaEprotonosupport = 10043,
                     kWsaEsocktnosupport = 10044, kWsaEopnotsupp = 10045, kWsaEpfnosupport = 10046,
                     kWsaEafnosupport = 10047, kWsaEaddrinuse = 10048, kWsaEaddrnotavail = 10049,
                     kWsaEnetdown = 10050, kWsaEnetunreach = 10051, kWsaEnetreset = 10052,
                     kWsaEconnaborted = 10053, kWsaEconnreset = 10054, kWsaEnobufs = 10055,
                     kWsaEisconn = 10056, kWsaEnotconn = 10057, kWsaEshutdown = 10058,
                     kWsaEtoomanyrefs = 10059, kWsaEtimedout = 10060, kWsaEconnrefused = 10061,
                     kWsaEloop = 10062, kWsaEnametoolong = 10063, kWsaEhostdown = 10064,
                     kWsaEhostunreach = 10065, kWsaEnotempty = 10066, kWsaEproclim = 10067,
                     kWsaEusers = 10068, kWsaEdquot = 10069, kWsaEstale = 10070,
                     kWsaEremote = 10071, kWsaSysnotready = 10091, kWsaVernotsupported = 10092,
                     kWsaNotinitialised = 10093, kWsaEdiscon = 10101, kWsaHostNotFound = 11001,
                     kWsaTryAgain = 11002, kWsaNoRecovery = 11003, kWsaNoData = 11004;

// Maps a native errno value onto its Winsock code. An errno without a Winsock
// counterpart is returned unchanged (ErrorDescription then says so).
int WinsockFromErrno(int err) noexcept;

// English text of a code: the fixed 52-entry table, otherwise
// "Not a Winsock error (<code>)".
std::string ErrorDescription(int code);

// Raised only where the exception mode is on, and for the start-up failure to
// load the socket library; network failures are reported through LastErrorCode.
class ESocketError : public std::runtime_error {
public:
    ESocketError(const std::string& message, int errorCode, std::string errorMessage)
        : std::runtime_error(message), ErrorCode(errorCode), ErrorMessage(std::move(errorMessage)) {
    }
    int ErrorCode;
    std::string ErrorMessage;
};

} // namespace pingvard
