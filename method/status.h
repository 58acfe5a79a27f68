// Every status the method produces or tests for, in the one number space shared
// by the framework, the crypto service, the facade and the method.
#pragma once
#include <cstdint>

namespace wistra {

inline constexpr std::int32_t kStatusOk = 0;

// The method's own.
inline constexpr std::int32_t kStatusNoMemory = -1635;
inline constexpr std::int32_t kStatusNotSupported = -1636;
inline constexpr std::int32_t kStatusLoginFailed = -1642;
inline constexpr std::int32_t kStatusBadArgument = -1643;
inline constexpr std::int32_t kStatusValueTooLong = -1633;
inline constexpr std::int32_t kStatusRecordStatusZero = -1662;
inline constexpr std::int32_t kStatusEmptyAnswerHeader = -1676;

// From the framework: this password source has nothing.
inline constexpr std::int32_t kStatusNoSuchValue = -1697;
inline constexpr std::int32_t kStatusNoSuchAttribute = -1695;
inline constexpr std::int32_t kStatusNoHash = -1665;
inline constexpr std::int32_t kStatusNoAccess = -603;
inline constexpr std::int32_t kStatusNoObject = -602;

// The framework stand-in's own, where the framework's contract was left open.
inline constexpr std::int32_t kStatusMafMessageTooLong = -1649;  // message does not fit the capacity
inline constexpr std::int32_t kStatusMafPeerGone = -1651;        // the peer ended the attempt
inline constexpr std::int32_t kStatusMafBadHandle = -1652;       // no such attempt
inline constexpr std::int32_t kStatusMafValueTooLong = -1650;    // attribute, password or hash value does not fit
inline constexpr std::int32_t kStatusMafBadArgument = -1653;     // a length pointer or buffer missing where needed

// Facade and crypto service.
inline constexpr std::int32_t kStatusStartupAlreadyUp = -1498;  // counted as success at start-up
inline constexpr std::int32_t kStatusFacadeDown = -1496;
inline constexpr std::int32_t kStatusInvalidArgument = -1422;
inline constexpr std::int32_t kStatusFacadeNoMemory = -1431;
inline constexpr std::int32_t kStatusBadLength = -1400;  // bad encryption length, or unsupported query

// The crypto service stand-in's own, where the service's contract was left open.
// An unknown module identifier is refused with kStatusFacadeDown (-1496).
inline constexpr std::int32_t kStatusCcsNotSupported = -1460;     // an operation the stand-in does not offer
inline constexpr std::int32_t kStatusCcsBadHandle = -1461;        // no such context or object for this module
inline constexpr std::int32_t kStatusCcsBadRecord = -1462;        // malformed or missing record, template or argument
inline constexpr std::int32_t kStatusCcsUnknownAlgorithm = -1463;  // identifier not recognised, or wrong kind
inline constexpr std::int32_t kStatusCcsOutputTooSmall = -1464;   // capacity below the output; needed length stored
inline constexpr std::int32_t kStatusCcsNotInitialized = -1465;   // no digest or encryption started in the context
inline constexpr std::int32_t kStatusCcsBadInputLength = -1466;   // not whole blocks, or beyond the algorithm's limit
inline constexpr std::int32_t kStatusCcsNoMemory = -1467;
inline constexpr std::int32_t kStatusCcsAlreadyRegistered = -1468;
inline constexpr std::int32_t kStatusCcsCryptFailed = -1469;      // the crypt salt was refused

// Token broker.
inline constexpr std::int32_t kStatusBufferTooSmall = -649;
inline constexpr std::int32_t kStatusBrokerNotOpen = -8;
// The broker stand-in's own.
inline constexpr std::int32_t kStatusAtbNotOpen = -650;      // the broker is not open for this handle
inline constexpr std::int32_t kStatusAtbBadArgument = -651;  // missing pointer, malformed value, input too long
inline constexpr std::int32_t kStatusAtbMismatch = -652;     // the two encrypted values differ
inline constexpr std::int32_t kStatusAtbRandomFailed = -653;

// Portability layer.
inline constexpr std::int32_t kStatusOsaFailed = -2;

// The name of a status for traces and test messages ("-1642 login failed").
const char* StatusName(std::int32_t status);

}  // namespace wistra
