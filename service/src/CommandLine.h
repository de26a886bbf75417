#pragma once
// The command line of tarvonet-service:
//   serve --listen ADDR:PORT --db FILE --content DIR [--session-timeout SECONDS] [--threads N]
//   --db FILE user add NAME PASSWORD [--studio]
//   --db FILE user del NAME | user list | user studio NAME on|off | user passwd NAME PASSWORD
//   --db FILE partner add NAME1 NAME2 | partner del NAME1 NAME2
//   --db FILE master set NAME MASTER | master clear NAME
// A PASSWORD of "-" is read from the first line of standard input.
#include <cstdint>
#include <string>
#include <vector>

namespace tarvonet {

struct ServeOptions {
    uint32_t address = 0;
    uint16_t port = 0;
    std::string database;
    std::string contentFolder;
    int sessionTimeoutSeconds = 30;
    unsigned threads = 2;
};

enum class AdminVerb {
    UserAdd,
    UserDelete,
    UserList,
    UserStudio,
    UserPassword,
    PartnerAdd,
    PartnerDelete,
    MasterSet,
    MasterClear,
};

struct AdminOptions {
    std::string database;
    AdminVerb verb = AdminVerb::UserList;
    std::string name;
    std::string other;  // password, second partner or master
    bool studio = false;
};

struct CommandLine {
    enum class Kind { Serve, Admin, Help } kind = Kind::Help;
    ServeOptions serve;
    AdminOptions admin;
};

// False with a one-line `error` on a bad command line.
bool parseCommandLine(const std::vector<std::string>& args, CommandLine& out, std::string& error);
const char* usageText();

}  // namespace tarvonet
