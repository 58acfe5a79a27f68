#include "method/status.h"

namespace wistra {

const char* StatusName(std::int32_t status) {
  switch (status) {
    case kStatusOk: return "success";
    case kStatusNoMemory: return "no memory";
    case kStatusNotSupported: return "not supported";
    case kStatusLoginFailed: return "login failed";
    case kStatusBadArgument: return "bad argument";
    case kStatusValueTooLong: return "value too long";
    case kStatusRecordStatusZero: return "record status 0";
    case kStatusEmptyAnswerHeader: return "empty answer header";
    case kStatusNoSuchValue: return "no password value";
    case kStatusNoSuchAttribute: return "no such attribute";
    case kStatusNoHash: return "no hash";
    case kStatusNoAccess: return "no access";
    case kStatusNoObject: return "no object";
    case kStatusMafMessageTooLong: return "message too long";
    case kStatusMafPeerGone: return "peer ended";
    case kStatusMafBadHandle: return "no such attempt";
    case kStatusMafValueTooLong: return "value does not fit";
    case kStatusMafBadArgument: return "bad framework call argument";
    case kStatusStartupAlreadyUp: return "already up";
    case kStatusFacadeDown: return "facade down";
    case kStatusInvalidArgument: return "invalid argument";
    case kStatusFacadeNoMemory: return "facade out of memory";
    case kStatusBadLength: return "bad length";
    case kStatusBufferTooSmall: return "buffer too small";
    case kStatusBrokerNotOpen: return "broker not open";
    case kStatusOsaFailed: return "failed";
    default: return "status";
  }
}

}  // namespace wistra
