// tarvonet-service: the community web service of the plug-in, and the
// administration of its accounts.
#include <iostream>
#include <string>
#include <vector>

#include "AdminCommands.h"
#include "CommandLine.h"
#include "EventLog.h"
#include "PasswordHasher.h"
#include "ServeCommand.h"

int main(int argc, char** argv) {
    using namespace tarvonet;
    std::vector<std::string> args(argv + 1, argv + argc);
    CommandLine command;
    std::string error;
    if (!parseCommandLine(args, command, error)) {
        std::cerr << "tarvonet-service: " << error << "\n" << usageText();
        return 2;
    }
    switch (command.kind) {
        case CommandLine::Kind::Help: std::cout << usageText(); return 0;
        case CommandLine::Kind::Serve: {
            StderrLog log;
            return runServe(command.serve, log);
        }
        case CommandLine::Kind::Admin:
            if (!initPasswordHashing()) {
                std::cerr << "tarvonet-service: libsodium is unusable\n";
                return 1;
            }
            return runAdminCommand(command.admin, std::cin, std::cout, std::cerr, HashCost::interactive());
    }
    return 2;
}
