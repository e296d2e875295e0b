#include "app/CommandLine.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/RemoteCommands.h"
#include "platform/linux/instance/LocalSocketCommandClient.h"
#include "platform/linux/instance/RuntimeDir.h"

#ifndef VANTORIA_VERSION
#define VANTORIA_VERSION "unknown"
#endif

namespace {

void PrintUsage(std::FILE* out) {
    std::fprintf(out,
                 "Usage: vantoria [OPTION]\n"
                 "Changes the desktop wallpaper from a playlist of pictures.\n"
                 "Without an option Vantoria starts (a second start in the same log-on\n"
                 "session ends at once). An option asks the running Vantoria of this\n"
                 "session to do one thing and waits until it is done:\n\n");
    for (const TRemoteCommand& c : RemoteCommands()) {
        std::fprintf(out, "  --%-10s %s\n", c.name, c.help);
    }
    std::fprintf(out,
                 "  --help       print this help\n"
                 "  --version    print the version\n\n"
                 "Exit status: 0 done; 1 Vantoria does not run in this session (none is\n"
                 "started) or did not answer; 2 a wrong option; 3 Vantoria could not do it.\n");
}

// The activation token a launcher hands to the program it starts: the
// running instance needs it to be let to the front (a desktop refuses
// windows that push forward on their own). A token that could not travel
// as one word is left out.
std::string LauncherToken() {
    for (const char* name : {"XDG_ACTIVATION_TOKEN", "DESKTOP_STARTUP_ID"}) {
        const char* value = std::getenv(name);
        const std::string token = value ? value : "";
        if (!token.empty() && token.size() <= 400 &&
            std::all_of(token.begin(), token.end(), [](char c) { return c > ' ' && c < 0x7f; })) {
            return token;
        }
    }
    return {};
}

std::string CommandLineFor(const std::string& name) {
    const std::string token = name == "show" ? LauncherToken() : std::string();
    return token.empty() ? name : name + " " + token;
}

}  // namespace

std::vector<std::string> InstanceFileNames(const std::string& prefix,
                                           const std::vector<std::string>& keys) {
    std::vector<std::string> names;
    for (const std::string& key : keys)
        names.push_back(prefix + "-" + key);
    return names;
}

std::optional<int> HandleCommandLine(int argc, char** argv, const char* closeRequestName) {
    if (argc < 2) {
        return std::nullopt;
    }
    const std::string option = argv[1];
    const TRemoteCommand* command =
        option.rfind("--", 0) == 0 ? FindRemoteCommand(option.substr(2)) : nullptr;
    if (argc == 2 && option == "--help") {
        PrintUsage(stdout);
        return 0;
    }
    if (argc == 2 && option == "--version") {
        std::printf("vantoria %s\n", VANTORIA_VERSION);
        return 0;
    }
    // The one option with a value: --shuffle on|off.
    std::string word = command ? command->name : "";
    if (command && word == "shuffle") {
        const std::string choice = argc == 3 ? argv[2] : "";
        if (choice != "on" && choice != "off") {
            std::fprintf(stderr, "vantoria: --shuffle takes on or off\n");
            PrintUsage(stderr);
            return 2;
        }
        word += "-" + choice;
    } else if (argc != 2 || !command) {
        if (argc == 2) {
            std::fprintf(stderr, "vantoria: unknown option %s\n", argv[1]);
        } else {
            std::fprintf(stderr, "vantoria: one option at a time\n");
        }
        PrintUsage(stderr);
        return 2;
    }

    const TRuntimeEnvironment env = CurrentEnvironment();
    const TRuntimeDir dir = VantoriaRuntimeDir(env, false);
    const bool quit = std::strcmp(command->name, "quit") == 0;
    // An orderly end puts the wallpaper back, which some desktops take a while for.
    const int timeoutMs = quit ? 60000 : 30000;
    const TCommandResult result =
        SendInstanceCommand(dir.folder, InstanceFileNames(closeRequestName, SessionKeys(env)),
                            CommandLineFor(word), timeoutMs);
    switch (result.status) {
        case TCommandResult::TStatus::NoInstance:
            std::fprintf(stderr, "vantoria: Vantoria is not running in this session\n");
            return 1;
        case TCommandResult::TStatus::NoAnswer:
            if (quit) {
                std::fprintf(stderr, "vantoria: Vantoria did not confirm that it ended\n");
            } else {
                std::fprintf(stderr,
                             "vantoria: Vantoria did not answer within %d seconds (a message box "
                             "of it may be waiting)\n",
                             timeoutMs / 1000);
            }
            return 1;
        case TCommandResult::TStatus::Answered:
            break;
    }
    if (!result.ok) {
        std::fprintf(stderr, "vantoria: --%s: %s\n", command->name, result.text.c_str());
        return 3;
    }
    std::fwrite(result.text.data(), 1, result.text.size(), stdout);
    return 0;
}

int BringRunningInstanceForward(const char* closeRequestName) {
    const TRuntimeEnvironment env = CurrentEnvironment();
    const TRuntimeDir dir = VantoriaRuntimeDir(env, false);
    const TCommandResult result =
        SendInstanceCommand(dir.folder, InstanceFileNames(closeRequestName, SessionKeys(env)),
                            CommandLineFor("show"), 30000);
    // An instance still starting has no socket yet: its window shows anyway.
    if (result.status == TCommandResult::TStatus::Answered && !result.ok) {
        std::fprintf(stderr, "vantoria: Vantoria runs already; %s\n", result.text.c_str());
    } else if (result.status == TCommandResult::TStatus::NoAnswer) {
        std::fprintf(stderr, "vantoria: Vantoria runs already but did not answer\n");
    }
    return 0;
}
