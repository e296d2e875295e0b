#include "platform/linux/files/UserFolders.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

std::string HomeFolder(const TEnvironment& env) {
    std::string home = EnvValue(env, "HOME");
    if (home.empty() || home[0] != '/') {
        const passwd* pw = ::getpwuid(::getuid());
        home = pw && pw->pw_dir && pw->pw_dir[0] == '/' ? pw->pw_dir : "/tmp";
    }
    return home;
}

}  // namespace

std::string UserFolder(const TEnvironment& env, TUserFolder which) {
    struct TRule {
        const char* variable;
        const char* underHome;
    };
    static constexpr TRule kRules[] = {{"XDG_CONFIG_HOME", "/.config"},
                                       {"XDG_DATA_HOME", "/.local/share"},
                                       {"XDG_CACHE_HOME", "/.cache"},
                                       {"XDG_RUNTIME_DIR", nullptr}};
    const TRule& rule = kRules[static_cast<int>(which)];
    const std::string value = EnvValue(env, rule.variable);
    if (!value.empty() && value[0] == '/') {
        return value;
    }
    return rule.underHome ? HomeFolder(env) + rule.underHome : std::string();
}

std::string VantoriaFolder(const TEnvironment& env, TUserFolder which) {
    const std::string base = UserFolder(env, which);
    return base.empty() ? std::string() : base + "/vantoria";
}

std::string PrivateFolderProblem(const std::string& path, bool othersMayEnter, bool repair) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ELOOP || errno == ENOTDIR) {
            return path + " is a symbolic link or not a folder";
        }
        return path + ": " + std::strerror(errno);
    }
    struct stat st {};
    std::string problem;
    if (::fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode)) {
        problem = path + " is not a folder";
    } else if (st.st_uid != ::geteuid()) {
        problem = path + " belongs to another user (uid " + std::to_string(st.st_uid) + ")";
    } else if ((st.st_mode & 077) != 0 && !(repair && ::fchmod(fd, st.st_mode & 0700) == 0) &&
               !othersMayEnter) {
        problem = path + " can be entered by other users";
    }
    ::close(fd);
    return problem;
}

std::string MakeUserFolder(const std::string& path) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        ::mkdir(path.substr(0, slash).c_str(), 0700);
    }
    ::mkdir(path.c_str(), 0700);
    return PrivateFolderProblem(path, false, true);
}
