// Every scheme check the verification dispatch calls, and the UTF-8
// conversions the password store uses. Every routine that reads a client's
// record takes that record's length and stays within it.
#pragma once

#include "server/afp.h"
#include "server/cifs.h"
#include "server/digest_compare.h"
#include "server/generate_hash.h"
#include "server/lanman.h"
#include "server/mschap.h"
#include "server/n_utf8.h"
