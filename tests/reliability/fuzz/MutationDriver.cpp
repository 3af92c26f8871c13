// The fuzz targets' own driver, for compilers without libFuzzer (GCC): it replays the seed corpus,
// then feeds the target deterministic mutations of it (bit flips, byte changes, inserted and
// removed runs, splices of two inputs, dictionary tokens) until a run count or a time limit is
// reached. No coverage feedback: it is the blunt fallback, the libFuzzer build is the sharp one.
// It understands the libFuzzer flags the suite uses, so both builds run with one command line:
//   fuzz_x [-runs=N] [-max_total_time=S] [-seed=N] [-max_len=N] [-dict=FILE]
//          [-artifact_prefix=P] DIR_OR_FILE...
// The first folder receives nothing (libFuzzer writes new inputs there); every folder is read.
// On a crash the input that caused it is written to P + "crash-input" before the signal goes on.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

using Bytes = std::vector<std::uint8_t>;

std::string crashPath = "crash-input";
const Bytes* current = nullptr;

void onFatalSignal(int sig) {
    if (current) {
        const int fd = ::open(crashPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) {
            const ssize_t n = ::write(fd, current->data(), current->size());
            (void)n;
            ::close(fd);
        }
        const char msg[] = "==fuzz== fatal signal; input written to the crash file\n";
        const ssize_t n = ::write(2, msg, sizeof msg - 1);
        (void)n;
    }
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

Bytes readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// libFuzzer dictionary lines: name="text" with \\, \" and \xNN escapes; # starts a comment.
std::vector<Bytes> readDictionary(const std::string& path) {
    std::vector<Bytes> out;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        const auto open = line.find('"');
        const auto close = line.rfind('"');
        if (line.empty() || line[0] == '#' || open == std::string::npos || close <= open) continue;
        Bytes token;
        for (std::size_t i = open + 1; i < close; ++i) {
            if (line[i] == '\\' && i + 1 < close) {
                if (line[i + 1] == 'x' && i + 3 < close) {
                    token.push_back(std::uint8_t(std::stoi(line.substr(i + 2, 2), nullptr, 16)));
                    i += 3;
                } else {
                    token.push_back(std::uint8_t(line[i + 1]));
                    ++i;
                }
            } else {
                token.push_back(std::uint8_t(line[i]));
            }
        }
        if (!token.empty()) out.push_back(token);
    }
    return out;
}

class Mutator {
public:
    Mutator(unsigned seed, std::size_t maxLen, std::vector<Bytes> dictionary)
        : rng_(seed), maxLen_(maxLen), dictionary_(std::move(dictionary)) {}

    Bytes mutate(const Bytes& base, const std::vector<Bytes>& pool) {
        Bytes b = base;
        const int steps = 1 + int(pick(4));
        for (int s = 0; s < steps; ++s)
            step(b, pool);
        if (b.size() > maxLen_) b.resize(maxLen_);
        return b;
    }

private:
    std::size_t pick(std::size_t n) {
        return n == 0 ? 0 : std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_);
    }

    void step(Bytes& b, const std::vector<Bytes>& pool) {
        switch (pick(dictionary_.empty() ? 8 : 10)) {
        case 0: // flip a bit
            if (!b.empty()) b[pick(b.size())] ^= std::uint8_t(1u << pick(8));
            break;
        case 1: // any byte
            if (!b.empty()) b[pick(b.size())] = std::uint8_t(pick(256));
            break;
        case 2: { // an interesting byte
            static const std::uint8_t interesting[] = {0,    0x7f, 0x80, 0xff, '<', '>', '&',  ';',  '"',
                                                       '\'', '\r', '\n', '{',  '}', '=', 0xC0, 0xED, 0xF4};
            if (!b.empty()) b[pick(b.size())] = interesting[pick(sizeof interesting)];
            break;
        }
        case 3: { // insert random bytes
            const std::size_t at = pick(b.size() + 1);
            const std::size_t n = 1 + pick(8);
            Bytes ins(n);
            for (auto& c : ins)
                c = std::uint8_t(pick(256));
            b.insert(b.begin() + long(at), ins.begin(), ins.end());
            break;
        }
        case 4: // remove a run
            if (!b.empty()) {
                const std::size_t at = pick(b.size());
                const std::size_t n = 1 + pick(std::min<std::size_t>(b.size() - at, 64));
                b.erase(b.begin() + long(at), b.begin() + long(at + n));
            }
            break;
        case 5: // duplicate a run
            if (!b.empty() && b.size() < maxLen_) {
                const std::size_t at = pick(b.size());
                const std::size_t n = 1 + pick(std::min<std::size_t>(b.size() - at, 256));
                const Bytes run(b.begin() + long(at), b.begin() + long(at + n));
                b.insert(b.begin() + long(pick(b.size() + 1)), run.begin(), run.end());
            }
            break;
        case 6: // cut
            if (!b.empty()) b.resize(pick(b.size()));
            break;
        case 7: { // splice with another input
            const Bytes& other = pool[pick(pool.size())];
            if (other.empty()) break;
            const std::size_t from = pick(other.size());
            const std::size_t at = pick(b.size() + 1);
            b.resize(at);
            b.insert(b.end(), other.begin() + long(from), other.end());
            break;
        }
        default: { // a dictionary token, inserted or written over
            const Bytes& token = dictionary_[pick(dictionary_.size())];
            const std::size_t at = pick(b.size() + 1);
            if (pick(2) == 0 || at + token.size() > b.size())
                b.insert(b.begin() + long(at), token.begin(), token.end());
            else
                std::copy(token.begin(), token.end(), b.begin() + long(at));
            break;
        }
        }
    }

    std::mt19937 rng_;
    std::size_t maxLen_;
    std::vector<Bytes> dictionary_;
};

} // namespace

int main(int argc, char** argv) {
    long long runs = -1;
    double maxSeconds = 0;
    unsigned seed = 1;
    std::size_t maxLen = 4096;
    std::string dictionaryPath;
    std::vector<std::string> inputs;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](const char* flag) -> const char* {
            const std::size_t n = std::strlen(flag);
            return a.compare(0, n, flag) == 0 ? a.c_str() + n : nullptr;
        };
        if (const char* v = value("-runs="))
            runs = std::atoll(v);
        else if (const char* v = value("-max_total_time="))
            maxSeconds = std::atof(v);
        else if (const char* v = value("-seed="))
            seed = unsigned(std::atoll(v));
        else if (const char* v = value("-max_len="))
            maxLen = std::size_t(std::atoll(v));
        else if (const char* v = value("-dict="))
            dictionaryPath = v;
        else if (const char* v = value("-artifact_prefix="))
            crashPath = std::string(v) + "crash-input";
        else if (a.size() > 1 && a[0] == '-')
            std::fprintf(stderr, "==fuzz== ignoring flag %s\n", a.c_str());
        else
            inputs.push_back(a);
    }
    if (runs < 0 && maxSeconds <= 0) runs = 10000;

    std::vector<Bytes> pool;
    for (const std::string& in : inputs) {
        const std::filesystem::path p(in);
        if (std::filesystem::is_directory(p)) {
            std::vector<std::filesystem::path> files;
            for (const auto& e : std::filesystem::directory_iterator(p))
                if (e.is_regular_file()) files.push_back(e.path());
            std::sort(files.begin(), files.end());
            for (const auto& f : files)
                pool.push_back(readFile(f));
        } else if (std::filesystem::is_regular_file(p)) {
            pool.push_back(readFile(p));
        }
    }
    if (pool.empty()) pool.push_back({});

    for (int sig : {SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL})
        std::signal(sig, onFatalSignal);

    const auto start = std::chrono::steady_clock::now();
    auto elapsed = [&] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };

    long long done = 0;
    for (const Bytes& b : pool) {
        current = &b;
        LLVMFuzzerTestOneInput(b.data(), b.size());
        ++done;
    }
    Mutator mutator(seed, maxLen,
                    dictionaryPath.empty() ? std::vector<Bytes>{} : readDictionary(dictionaryPath));
    std::mt19937 choose(seed ^ 0x9e3779b9u);
    const std::size_t seeds = pool.size();
    while ((runs < 0 || done < runs) && (maxSeconds <= 0 || elapsed() < maxSeconds)) {
        const Bytes input = mutator.mutate(
            pool[std::uniform_int_distribution<std::size_t>(0, pool.size() - 1)(choose)], pool);
        current = &input;
        LLVMFuzzerTestOneInput(input.data(), input.size());
        ++done;
        // Keep a few mutants as bases, so mutations can stack up beyond one step from a seed.
        if (done % 64 == 0) {
            if (pool.size() < seeds + 256)
                pool.push_back(input);
            else
                pool[seeds + std::size_t(done / 64) % 256] = input;
        }
    }
    current = nullptr;
    std::printf("Done %lld runs in %.0f second(s)\n", done, elapsed());
    return 0;
}
