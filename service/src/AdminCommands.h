#pragma once
// The administration commands: accounts, studio flag, partner pairs and
// master accounts, run against the database file. A running service on the
// same file follows the changes within about a second (AccountReloader).
#include <iosfwd>

#include "CommandLine.h"
#include "PasswordHasher.h"

namespace tarvonet {

// Returns the exit status: 0 done, 1 refused or failed (with a message on
// `err`), 2 bad usage.
int runAdminCommand(const AdminOptions& options, std::istream& in, std::ostream& out, std::ostream& err,
                    HashCost cost);

}  // namespace tarvonet
