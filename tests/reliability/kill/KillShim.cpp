// Preloaded into a child k48213ctl by the kill harness (LD_PRELOAD): it ends the process with
// SIGKILL at one chosen point of its work, named by $K48213_KILL_POINT as "KIND:N", the Nth time
// that point is reached:
//   seek            after a data-table seek has run
//   write           after a data-table write has run
//   lastrun-before  before a g2_server_run row is written
//   lastrun-after   after a g2_server_run row was written
//   save-before     before a configuration file replaces the old one (the rename of a save)
//   save-after      after it did
// It wraps sqlite3_step and rename, so the program is the one that ships, unchanged.
#include <sqlite3.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <signal.h>
#include <unistd.h>

namespace {

enum class Point { None, Seek, Write, LastRunBefore, LastRunAfter, SaveBefore, SaveAfter };

struct Plan {
    Point point = Point::None;
    long n = 0;
    long seen = 0;
};

Plan& plan() {
    static Plan p = [] {
        Plan q;
        const char* spec = std::getenv("K48213_KILL_POINT");
        if (!spec) return q;
        const char* colon = std::strchr(spec, ':');
        if (!colon) return q;
        const std::size_t len = std::size_t(colon - spec);
        struct Name {
            const char* text;
            Point point;
        };
        static const Name names[] = {{"seek", Point::Seek},
                                     {"write", Point::Write},
                                     {"lastrun-before", Point::LastRunBefore},
                                     {"lastrun-after", Point::LastRunAfter},
                                     {"save-before", Point::SaveBefore},
                                     {"save-after", Point::SaveAfter}};
        for (const Name& name : names)
            if (std::strlen(name.text) == len && std::strncmp(spec, name.text, len) == 0)
                q.point = name.point;
        q.n = std::atol(colon + 1);
        return q;
    }();
    return p;
}

bool containsNoCase(const char* text, const char* part) {
    const std::size_t n = std::strlen(part);
    for (const char* p = text; *p; ++p) {
        std::size_t i = 0;
        while (i < n && p[i] && std::tolower(static_cast<unsigned char>(p[i])) == part[i])
            ++i;
        if (i == n) return true;
    }
    return false;
}

bool startsWithNoCase(const char* text, const char* part) {
    while (*text == ' ' || *text == '\n' || *text == '\t')
        ++text;
    for (; *part; ++part, ++text)
        if (std::tolower(static_cast<unsigned char>(*text)) != *part) return false;
    return true;
}

bool commentTable(const char* sql) {
    static const char* const tables[] = {"tbl_c", "ddh_c", "dd4_c", "dd3_c",
                                         "ddf_c", "dd5_c", "dd1_c", "ddx_c"};
    for (const char* t : tables)
        if (containsNoCase(sql, t)) return true;
    return false;
}

Point pointOf(const char* sql) {
    if (!sql) return Point::None;
    const bool dataTable =
        (containsNoCase(sql, "datadd") || containsNoCase(sql, "datatbl")) && !commentTable(sql);
    if (dataTable && startsWithNoCase(sql, "insert into data")) return Point::Write;
    if (dataTable && startsWithNoCase(sql, "select")) return Point::Seek;
    if (containsNoCase(sql, "g2_server_run") &&
        (startsWithNoCase(sql, "insert") || startsWithNoCase(sql, "update")))
        return Point::LastRunBefore;
    return Point::None;
}

// Counts one arrival at a point; true when this is the one to die at.
bool reached(Point point) {
    Plan& p = plan();
    return p.point == point && ++p.seen == p.n;
}

[[noreturn]] void die() {
    static const char msg[] = "\n== killed by the reliability harness ==\n";
    const ssize_t w = ::write(2, msg, sizeof msg - 1);
    (void)w;
    ::kill(::getpid(), SIGKILL);
    ::_exit(137);
}

template <class F> F next(const char* name) {
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

bool isConfiguration(const char* path) {
    const std::size_t n = path ? std::strlen(path) : 0;
    return n > 4 && std::strcmp(path + n - 4, ".xml") == 0;
}

} // namespace

extern "C" int sqlite3_step(sqlite3_stmt* stmt) {
    static auto real = next<int (*)(sqlite3_stmt*)>("sqlite3_step");
    static auto sqlOf = next<const char* (*)(sqlite3_stmt*)>("sqlite3_sql");
    const Point point = pointOf(sqlOf(stmt));
    if (point == Point::LastRunBefore && reached(Point::LastRunBefore)) die();
    const int rc = real(stmt);
    if (point == Point::LastRunBefore && reached(Point::LastRunAfter)) die();
    if (point == Point::Seek && reached(Point::Seek)) die();
    if (point == Point::Write && reached(Point::Write)) die();
    return rc;
}

extern "C" int rename(const char* from, const char* to) {
    static auto real = next<int (*)(const char*, const char*)>("rename");
    if (isConfiguration(to) && reached(Point::SaveBefore)) die();
    const int rc = real(from, to);
    if (isConfiguration(to) && reached(Point::SaveAfter)) die();
    return rc;
}

extern "C" int renameat(int fromDir, const char* from, int toDir, const char* to) {
    static auto real = next<int (*)(int, const char*, int, const char*)>("renameat");
    if (isConfiguration(to) && reached(Point::SaveBefore)) die();
    const int rc = real(fromDir, from, toDir, to);
    if (isConfiguration(to) && reached(Point::SaveAfter)) die();
    return rc;
}

extern "C" int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned flags) {
    static auto real = next<int (*)(int, const char*, int, const char*, unsigned)>("renameat2");
    if (isConfiguration(to) && reached(Point::SaveBefore)) die();
    const int rc = real(fromDir, from, toDir, to, flags);
    if (isConfiguration(to) && reached(Point::SaveAfter)) die();
    return rc;
}
