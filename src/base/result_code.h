#pragma once

#include <cstdint>
#include <string>

namespace olvex {

// Results of transport and engine operations. 0 (or a positive count) is
// success; every failure is one of these negative numbers. The server uses
// the same numbering in its error answers.
namespace ResultCode {
inline constexpr int32_t Ok = 0;
inline constexpr int32_t SocketInit = -1;
inline constexpr int32_t Connect = -2;
inline constexpr int32_t SendFailed = -3;
inline constexpr int32_t BadFrame = -4;
inline constexpr int32_t ConnectionLost = -5;
inline constexpr int32_t SocketOpen6 = -6;
inline constexpr int32_t SocketOpen7 = -7;
inline constexpr int32_t Timeout = -8;
inline constexpr int32_t Semaphore = -10;
inline constexpr int32_t FileOpen = -11;
inline constexpr int32_t FileRead = -12;
inline constexpr int32_t FileSave = -13;
inline constexpr int32_t FileCorrupted = -14;
inline constexpr int32_t MessageSize = -15;
inline constexpr int32_t MessageFormat = -16;
inline constexpr int32_t MessageEmpty = -17;
inline constexpr int32_t MessageType = -18;
inline constexpr int32_t MessageParameters = -19;
inline constexpr int32_t MessageCommand = -20;
inline constexpr int32_t ThreadCreate = -22;
inline constexpr int32_t AppVersion = -23;
inline constexpr int32_t Credentials = -24;
inline constexpr int32_t MaxConnections = -25;
inline constexpr int32_t UserNotOnline = -27;
inline constexpr int32_t CallNotFound = -28;
inline constexpr int32_t InvitationInvalid = -29;
inline constexpr int32_t IpNotValidated = -30;
inline constexpr int32_t IpNotAuthenticated = -31;
inline constexpr int32_t VisitorNotFound = -32;
inline constexpr int32_t ChannelNotFound = -33;
inline constexpr int32_t ChannelAlreadyOpen = -34;
inline constexpr int32_t AlreadySignedIn = -35;
inline constexpr int32_t FileExists = -45;
// TLS failures; the server never sends these.
inline constexpr int32_t TlsSetup = -60;
inline constexpr int32_t TlsCertificate = -61;
inline constexpr int32_t TlsHostName = -62;
inline constexpr int32_t TlsExpired = -63;
inline constexpr int32_t TlsNotOffered = -64;
inline constexpr int32_t TlsRequired = -65;
inline constexpr int32_t TlsHandshake = -66;
inline constexpr int32_t FileNotFound = -46;
inline constexpr int32_t Database = -100;
inline constexpr int32_t SqlCommand = -101;
} // namespace ResultCode

// The sentence shown to the user for a result code; never null.
const char* ResultText(int32_t code);

// The TLS library's reason for the last TLS failure on this thread, kept so
// that the thread that called Connect can show it; empty when there is none.
const std::string& ResultDetail();
void SetResultDetail(std::string detail);
// ResultText, followed by the reason in brackets for a TLS failure that has one.
std::string ResultMessage(int32_t code);

} // namespace olvex
