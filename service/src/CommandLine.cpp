#include "CommandLine.h"

#include "FormBody.h"
#include "Ipv4.h"

namespace tarvonet {

namespace {

constexpr int kMaxSessionTimeoutSeconds = 24 * 3600;
constexpr int kMaxThreads = 64;

bool parseListen(const std::string& text, ServeOptions& out, std::string& error) {
    size_t colon = text.rfind(':');
    int port = 0;
    if (colon == std::string::npos || !parseDottedQuad(std::string_view(text).substr(0, colon), out.address) ||
        !parseBoundedInt(std::string_view(text).substr(colon + 1), 0, 65535, port)) {
        error = "--listen wants ADDR:PORT with a dotted-quad address, e.g. 0.0.0.0:80, not \"" + text + "\"";
        return false;
    }
    out.port = static_cast<uint16_t>(port);
    return true;
}

bool parseServe(const std::vector<std::string>& args, ServeOptions& out, std::string& error) {
    bool haveListen = false;
    for (size_t i = 1; i < args.size(); i += 2) {
        const std::string& option = args[i];
        if (i + 1 >= args.size()) {
            error = option + " needs a value";
            return false;
        }
        const std::string& value = args[i + 1];
        if (option == "--listen") {
            if (!parseListen(value, out, error)) return false;
            haveListen = true;
        } else if (option == "--db") {
            out.database = value;
        } else if (option == "--content") {
            out.contentFolder = value;
        } else if (option == "--session-timeout") {
            if (!parseBoundedInt(value, 1, kMaxSessionTimeoutSeconds, out.sessionTimeoutSeconds)) {
                error = "--session-timeout wants a whole number of seconds from 1 to 86400";
                return false;
            }
        } else if (option == "--threads") {
            int threads = 0;
            if (!parseBoundedInt(value, 1, kMaxThreads, threads)) {
                error = "--threads wants a number from 1 to 64";
                return false;
            }
            out.threads = static_cast<unsigned>(threads);
        } else {
            error = "unknown option for serve: " + option;
            return false;
        }
    }
    if (!haveListen || out.database.empty() || out.contentFolder.empty()) {
        error = "serve needs --listen ADDR:PORT, --db FILE and --content DIR";
        return false;
    }
    return true;
}

bool parseAdmin(const std::vector<std::string>& args, AdminOptions& out, std::string& error) {
    if (args.size() < 3 || args[0] != "--db" || args[1].empty()) {
        error = "administration commands begin with --db FILE";
        return false;
    }
    out.database = args[1];
    std::vector<std::string> w(args.begin() + 2, args.end());
    auto expect = [&](size_t count, const char* form) {
        if (w.size() == count) return true;
        error = std::string("usage: ") + form;
        return false;
    };
    const std::string& noun = w[0];
    const std::string verb = w.size() > 1 ? w[1] : "";
    if (noun == "user" && verb == "add") {
        out.verb = AdminVerb::UserAdd;
        if (w.size() == 5 && w[4] == "--studio") {
            out.studio = true;
            w.pop_back();
        }
        if (!expect(4, "user add NAME PASSWORD [--studio]")) return false;
        out.name = w[2];
        out.other = w[3];
    } else if (noun == "user" && verb == "del") {
        out.verb = AdminVerb::UserDelete;
        if (!expect(3, "user del NAME")) return false;
        out.name = w[2];
    } else if (noun == "user" && verb == "list") {
        out.verb = AdminVerb::UserList;
        if (!expect(2, "user list")) return false;
    } else if (noun == "user" && verb == "studio") {
        out.verb = AdminVerb::UserStudio;
        if (!expect(4, "user studio NAME on|off")) return false;
        if (w[3] != "on" && w[3] != "off") {
            error = "usage: user studio NAME on|off";
            return false;
        }
        out.name = w[2];
        out.studio = w[3] == "on";
    } else if (noun == "user" && verb == "passwd") {
        out.verb = AdminVerb::UserPassword;
        if (!expect(4, "user passwd NAME PASSWORD")) return false;
        out.name = w[2];
        out.other = w[3];
    } else if (noun == "partner" && (verb == "add" || verb == "del")) {
        out.verb = verb == "add" ? AdminVerb::PartnerAdd : AdminVerb::PartnerDelete;
        if (!expect(4, verb == "add" ? "partner add NAME1 NAME2" : "partner del NAME1 NAME2")) return false;
        out.name = w[2];
        out.other = w[3];
    } else if (noun == "master" && verb == "set") {
        out.verb = AdminVerb::MasterSet;
        if (!expect(4, "master set NAME MASTER")) return false;
        out.name = w[2];
        out.other = w[3];
    } else if (noun == "master" && verb == "clear") {
        out.verb = AdminVerb::MasterClear;
        if (!expect(3, "master clear NAME")) return false;
        out.name = w[2];
    } else {
        error = "unknown command: " + noun + (verb.empty() ? "" : " " + verb);
        return false;
    }
    return true;
}

}  // namespace

bool parseCommandLine(const std::vector<std::string>& args, CommandLine& out, std::string& error) {
    out = CommandLine{};
    if (args.empty()) {
        error = "no command given";
        return false;
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        out.kind = CommandLine::Kind::Help;
        return true;
    }
    if (args[0] == "serve") {
        out.kind = CommandLine::Kind::Serve;
        return parseServe(args, out.serve, error);
    }
    out.kind = CommandLine::Kind::Admin;
    return parseAdmin(args, out.admin, error);
}

const char* usageText() {
    return "usage:\n"
           "  tarvonet-service serve --listen ADDR:PORT --db FILE --content DIR\n"
           "                         [--session-timeout SECONDS] [--threads N]\n"
           "  tarvonet-service --db FILE user add NAME PASSWORD [--studio]\n"
           "  tarvonet-service --db FILE user del NAME\n"
           "  tarvonet-service --db FILE user list\n"
           "  tarvonet-service --db FILE user studio NAME on|off\n"
           "  tarvonet-service --db FILE user passwd NAME PASSWORD\n"
           "  tarvonet-service --db FILE partner add NAME1 NAME2\n"
           "  tarvonet-service --db FILE partner del NAME1 NAME2\n"
           "  tarvonet-service --db FILE master set NAME MASTER\n"
           "  tarvonet-service --db FILE master clear NAME\n"
           "A PASSWORD of \"-\" is read from the first line of standard input.\n";
}

}  // namespace tarvonet
