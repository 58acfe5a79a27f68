#include "platform/vesk/veskhost/record.h"

namespace veskhost {

void Overlay(UserRecord& base, const UserRecord& update) {
  if (update.password) {
    base.password = update.password;
    base.passwordFlag = update.passwordFlag;
  }
  if (update.passwordHash) base.passwordHash = update.passwordHash;
  if (update.passwordFlags) base.passwordFlags = update.passwordFlags;
  if (update.galtHash) {
    base.galtHash = update.galtHash;
    base.galtSalt = update.galtSalt;
  }
}

}  // namespace veskhost
