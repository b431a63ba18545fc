// Faults a user's machine throws at a run: a full disk, a killed process, a
// destination it may not write. After each one the export must be as it was
// (or, for the files a run updates in place, completely updated), the
// destination must hold no partial package, and the next run must succeed.
//
// EBOOKPACK_FAULT_SEED replays another draw of kill moments;
// EBOOKPACK_FAULT_KILLS lowers their number for slow (sanitizer) builds.
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "reliability_fixture.h"

namespace packager::testing {
namespace {

constexpr unsigned long kDefaultSeed = 20261207;
constexpr unsigned long kDefaultKills = 50;

unsigned long environmentNumber(const char* name, unsigned long fallback) {
    const char* text = std::getenv(name);
    return text != nullptr && *text != '\0' ? std::strtoul(text, nullptr, 10) : fallback;
}

std::string describe(const ChildOutcome& outcome) {
    if (outcome.timedOut) return "hung and was killed";
    if (!outcome.exited) return "died of signal " + std::to_string(outcome.signal);
    return "exited with " + std::to_string(outcome.code);
}

using Problems = std::vector<std::string>;

// A tmpfs mounted in a mount namespace private to the test process (and the
// runs it starts), so that no other process sees it and it goes away with the
// process at the latest.
class PrivateMount {
public:
    // The reason it could not be mounted, or nothing.
    std::optional<std::string> mount(const fs::path& at, const std::string& options) {
        if (::unshare(CLONE_NEWNS) != 0) return std::string("unshare: ") + std::strerror(errno);
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return std::string("making mounts private: ") + std::strerror(errno);
        fs::create_directories(at);
        if (::mount("tmpfs", at.c_str(), "tmpfs", 0, options.c_str()) != 0)
            return std::string("mounting a tmpfs: ") + std::strerror(errno);
        root = at;
        return std::nullopt;
    }

    PrivateMount() = default;
    PrivateMount(const PrivateMount&) = delete;
    PrivateMount& operator=(const PrivateMount&) = delete;
    ~PrivateMount() {
        if (!root.empty()) ::umount2(root.c_str(), MNT_DETACH);
    }

protected:
    fs::path root;
};

// A small file system that a run can fill.
class SmallDisk : public PrivateMount {
public:
    std::optional<std::string> mount(const fs::path& at, std::uintmax_t bytes) {
        return PrivateMount::mount(at, "size=" + std::to_string(bytes) + ",mode=0700");
    }

    // Takes all the free space but `free` bytes (rounded up to whole pages)
    // with one file, so the next write past them fails with ENOSPC.
    bool fillLeaving(std::uintmax_t free) {
        empty();
        struct statvfs disk {};
        if (::statvfs(root.c_str(), &disk) != 0) return false;
        const std::uintmax_t available = static_cast<std::uintmax_t>(disk.f_bavail) * disk.f_frsize;
        if (available <= free) return true;
        const int file = ::open(filler().c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        if (file < 0) return false;
        const bool filled = ::posix_fallocate(file, 0, static_cast<off_t>(available - free)) == 0;
        ::close(file);
        return filled;
    }

    void empty() { fs::remove(filler()); }
    fs::path filler() const { return root / "filler"; }
};

class FaultInjection : public ScratchTest, public ::testing::WithParamInterface<BookKind> {
protected:
    void SetUp() override {
        ScratchTest::SetUp();
        exportFolder = scratch / "export";
        destination = scratch / "out";
        log = scratch / "runs.log";
        workspaceRoot = tmp;
        prepareExport(kind, exportFolder);
        original = snapshot(exportFolder);
        measureUndisturbedRuns();
    }

    void TearDown() override {
        std::cout << "[ faults ] " << kind.command << ": faults injected " << faults << ", runs checked "
                  << runsChecked << ", data lost " << lost << "\n";
        ScratchTest::TearDown();
    }

    // Three undisturbed runs from the pristine export give what a complete
    // result looks like and how long a run takes.
    void measureUndisturbedRuns() {
        constexpr int runs = 3;
        std::chrono::duration<double> total{};
        for (int i = 0; i < runs; ++i) {
            restoreExport();
            fs::remove_all(destination);
            fs::create_directories(destination);
            ChildOutcome outcome = run();
            ASSERT_TRUE(outcome.exited && outcome.code == 0) << describe(outcome);
            total += outcome.elapsed;
        }
        runTime = total / runs;
        auto entries = readableEntries(kind.package(destination));
        ASSERT_TRUE(entries) << "the undisturbed run wrote no readable package";
        packageEntries = *entries;
        for (const std::string& name : kind.changedInPlace) updated[name] = readText(exportFolder / name);
        if (!kind.xpsName.empty()) {
            auto xps = readableEntries(exportFolder / kind.xpsName);
            ASSERT_TRUE(xps && holdsEnhancedContentWithoutTiff(*xps)) << "the undisturbed run did not update the XPS";
            xpsEntries = *xps;
        }
        packageBefore = readText(kind.package(destination));
        restoreExport();
        std::cout << "[ faults ] " << kind.command << ": an undisturbed run takes "
                  << static_cast<int>(runTime.count() * 1000) << " ms\n";
    }

    void restoreExport() {
        if (!kind.changedInPlace.empty()) prepareExport(kind, exportFolder);
    }

    std::optional<ChildProcess> start(const ChildLimits& limits = {}, const std::string& name = "Book") {
        return ChildProcess::start(cliPath(), kind.arguments(exportFolder, destination, name), log, limits);
    }

    ChildOutcome run(const ChildLimits& limits = {}, const std::string& name = "Book") {
        auto child = start(limits, name);
        return child ? child->wait() : ChildOutcome{};
    }

    // Where runs make their workspace (TMPDIR), also for the run after a fault.
    void useWorkspaceRoot(const fs::path& folder) {
        workspaceRoot = folder;
        setenv("TMPDIR", folder.c_str(), 1);
    }

    // The package's inode: a delivered package is a new file renamed into
    // place, so an inode left as it was means nothing was delivered.
    std::optional<ino_t> packageInode() const {
        struct stat status {};
        if (::stat(kind.package(destination).c_str(), &status) != 0) return std::nullopt;
        return status.st_ino;
    }

    // A run that returns 0 must have delivered a complete package; any other
    // code must be one of `failureCodes`, with nothing delivered.
    Problems checkOutcome(const ChildOutcome& outcome, const std::set<int>& failureCodes,
                          std::optional<ino_t> packageBeforeRun) const {
        if (!outcome.exited) return {"the run " + describe(outcome)};
        if (outcome.code == 0) {
            if (packageInode() == packageBeforeRun || readableEntries(kind.package(destination)) != packageEntries)
                return {"the run returned 0 without delivering a complete package"};
            return {};
        }
        Problems problems;
        if (!failureCodes.contains(outcome.code)) problems.push_back("the run " + describe(outcome));
        if (readText(kind.package(destination)) != packageBefore) problems.push_back("a failed run delivered a package");
        return problems;
    }

    bool isCompleteUpdate(const std::string& name) const {
        if (name == kind.xpsName) return readableEntries(exportFolder / name) == xpsEntries;
        auto found = updated.find(name);
        return found != updated.end() && readText(exportFolder / name) == found->second;
    }

    // A killed run may leave a staged file beside the one it was replacing:
    // the next run must remove it (see recover()).
    Problems damageToExport(bool killed) const {
        Problems problems;
        const Snapshot now = snapshot(exportFolder);
        for (const auto& [name, bytes] : original) {
            auto found = now.find(name);
            if (found == now.end()) problems.push_back(name + " is gone from the export");
            else if (found->second == bytes) continue;
            else if (std::ranges::find(kind.changedInPlace, name) == kind.changedInPlace.end())
                problems.push_back(name + " changed in the export");
            else if (!isCompleteUpdate(name))
                problems.push_back(name + " is neither the original nor completely updated");
        }
        for (const auto& [name, bytes] : now)
            if (!original.contains(name) && !(killed && isAbandonedTemporary(name)))
                problems.push_back(name + " appeared in the export");
        return problems;
    }

    // A package at the destination must be whole, and nothing else may be
    // there: not even a temporary file, but for what a killed run left.
    Problems damageAtDestination(bool killed) {
        Problems problems;
        if (!fs::exists(destination)) return problems;
        const std::string packageName = kind.package(destination).filename().string();
        for (const auto& entry : fs::directory_iterator(destination)) {
            const std::string name = entry.path().filename().string();
            if (name == packageName) {
                if (readText(entry.path()) != packageBefore && readableEntries(entry.path()) != packageEntries)
                    problems.push_back("a partial " + name);
            } else if (!(killed && isAbandonedTemporary(name))) {
                problems.push_back("unexpected " + name + " at the destination");
                fs::remove_all(entry.path());  // reported once, not again after every later fault
            }
        }
        return problems;
    }

    // The run after a fault starts from whatever the fault left and must
    // end as an undisturbed run does. A second update of an already updated
    // XPS adds to it, so there only its content is checked.
    Problems recover() {
        Problems problems;
        const ChildOutcome outcome = run();
        if (!outcome.exited || outcome.code != 0) return {"the next run " + describe(outcome)};
        auto isComplete = [&](const std::optional<std::vector<std::string>>& entries) {
            return entries && (*entries == packageEntries ||
                               (!kind.xpsName.empty() && holdsEnhancedContentWithoutTiff(*entries)));
        };
        if (!isComplete(readableEntries(kind.package(destination))))
            problems.push_back("the next run's package is incomplete");
        if (!kind.xpsName.empty() && !isComplete(readableEntries(exportFolder / kind.xpsName)))
            problems.push_back("the next run left the XPS incomplete");
        for (const auto& entry : fs::directory_iterator(workspaceRoot))
            if (entry.path().extension() != ".lock")
                problems.push_back("the next run left " + entry.path().filename().string() + " in TMPDIR");
        for (const fs::path& folder : {exportFolder, destination})
            for (const auto& entry : fs::directory_iterator(folder))
                if (isAbandonedTemporary(entry.path().filename().string()))
                    problems.push_back("the next run left " + entry.path().string());
        return problems;
    }

    // Checks the state a fault left, then the run after it, and resets the
    // export for the next fault. The package the run after it wrote stays at
    // the destination, so later faults also meet an older package there.
    void killAtRandomMoments();

    void checkAfter(const std::string& fault, Problems problems = {}, bool killed = false) {
        ++faults;
        for (Problems found : {damageToExport(killed), damageAtDestination(killed)})
            problems.insert(problems.end(), found.begin(), found.end());
        for (const std::string& problem : recover()) problems.push_back(problem);
        runsChecked += 2;
        if (!problems.empty()) {
            ++lost;
            std::ostringstream text;
            for (const std::string& problem : problems) text << "\n  " << problem;
            ADD_FAILURE() << kind.command << ", " << fault << ":" << text.str();
        }
        packageBefore = readText(kind.package(destination));
        restoreExport();
    }

    const BookKind kind = GetParam();
    fs::path exportFolder, destination, log, workspaceRoot;
    Snapshot original;                         // the export before any run
    std::map<std::string, std::string> updated; // in-place files after a complete run
    std::vector<std::string> packageEntries, xpsEntries;
    std::string packageBefore;                 // at the destination when a fault strikes
    std::chrono::duration<double> runTime{};
    int faults = 0, runsChecked = 0, lost = 0;
};

// The workspace (TMPDIR) or the destination on a disk that fills up at
// several points of the run. A workspace that cannot be written gives 10 (or
// 6 where the XPS update gives up on a staged file), a destination 1.
TEST_P(FaultInjection, FullDisk) {
    constexpr std::uintmax_t kDiskSize = 64 << 20;
    SmallDisk disk;
    if (auto refused = disk.mount(scratch / "disk", kDiskSize))
        GTEST_SKIP() << "no file system of the test's own to fill (" << *refused << ")";
    const fs::path diskTmp = scratch / "disk" / "tmp";
    const fs::path diskDestination = scratch / "disk" / "out";
    fs::create_directories(diskTmp);
    fs::create_directories(diskDestination);

    // From nothing at all, through eighths of the package, to room for it twice.
    const std::uintmax_t size = fs::file_size(kind.package(destination));
    std::vector<std::uintmax_t> freeSpace = {0, 4096, 65536};
    for (std::uintmax_t eighths = 1; eighths <= 8; ++eighths) freeSpace.push_back(size * eighths / 8);
    freeSpace.push_back(size * 2);
    std::ranges::sort(freeSpace);
    const std::set<int> workspaceCodes = kind.xpsName.empty() ? std::set<int>{10} : std::set<int>{10, 6};
    int failedRuns = 0;
    for (const bool onWorkspace : {true, false}) {
        destination = onWorkspace ? scratch / "out" : diskDestination;
        packageBefore = readText(kind.package(destination));
        useWorkspaceRoot(onWorkspace ? diskTmp : tmp);
        for (const std::uintmax_t free : freeSpace) {
            const std::optional<ino_t> packageBeforeRun = packageInode();
            ASSERT_TRUE(disk.fillLeaving(free));
            const ChildOutcome outcome = run();
            disk.empty();
            if (outcome.exited && outcome.code != 0) ++failedRuns;
            checkAfter((onWorkspace ? "workspace" : "destination") + std::string(" full but ") +
                           std::to_string(free) + " bytes",
                       checkOutcome(outcome, onWorkspace ? workspaceCodes : std::set<int>{1}, packageBeforeRun));
        }
    }
    useWorkspaceRoot(tmp);
    std::cout << "[ faults ] " << kind.command << ": " << failedRuns << " of " << 2 * freeSpace.size()
              << " runs on a full disk failed\n";
    EXPECT_GT(failedRuns, 0) << "no row filled the disk before the run ended";
}

void FaultInjection::killAtRandomMoments() {
    const unsigned long seed = environmentNumber("EBOOKPACK_FAULT_SEED", kDefaultSeed);
    const unsigned long kills = environmentNumber("EBOOKPACK_FAULT_KILLS", kDefaultKills);
    std::cout << "[ faults ] " << kind.command << ": " << kills << " kills, seed " << seed << "\n";
    std::mt19937 random(static_cast<std::mt19937::result_type>(seed));
    std::uniform_real_distribution<double> moment(0.0, runTime.count());
    int finishedFirst = 0;
    for (unsigned long i = 0; i < kills; ++i) {
        const std::chrono::duration<double> delay(moment(random));
        auto child = start();
        ASSERT_TRUE(child);
        std::this_thread::sleep_for(delay);
        if (!child->running()) ++finishedFirst;
        child->kill();
        child->wait();
        checkAfter("killed after " + std::to_string(static_cast<int>(delay.count() * 1000)) + " ms", {}, true);
    }
    std::cout << "[ faults ] " << kind.command << ": " << finishedFirst << " runs had finished before their kill\n";
}

TEST_P(FaultInjection, KillAtRandomMoments) { killAtRandomMoments(); }

// Without /proc a run cannot give an unnamed file its name, so it stages every
// file under a temporary one, as on a file system without unnamed files: a
// kill while it writes the export or the destination leaves one there for the
// next run to remove.
TEST_P(FaultInjection, KillAtRandomMomentsStagingUnderTemporaryNames) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizers' runtime stops a run that has no /proc";
#endif
    PrivateMount emptyProc;
    if (auto refused = emptyProc.mount("/proc", "size=4k"))
        GTEST_SKIP() << "cannot hide /proc from the runs (" << *refused << ")";
    killAtRandomMoments();
}

// Destinations a run cannot write to: it must give 1 and change nothing there.
TEST_P(FaultInjection, UnwritableDestination) {
    struct Case {
        std::string name;
        fs::path watched;          // the folder that must stay as it is
        fs::path destination;      // the folder the package is asked for in
        bool readOnly = true;      // `watched` is made read-only
        std::string file = "Book"; // the package's name there
    };
    const std::vector<Case> cases = {
        {"an empty read-only destination", scratch / "empty", scratch / "empty"},
        {"a read-only destination holding an older package", destination, destination},
        {"a missing destination below a read-only folder", scratch / "locked", scratch / "locked" / "new"},
        {"a file name over 255 bytes", destination, destination, false, std::string(300, 'b')},
    };
    for (const Case& unwritable : cases) {
        fs::create_directories(unwritable.watched);
        destination = unwritable.destination;
        const Snapshot before = snapshot(unwritable.watched);
        if (unwritable.readOnly)
            fs::permissions(unwritable.watched,
                            fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                            fs::perm_options::remove);
        const ChildOutcome outcome = run({.obeyPermissions = true}, unwritable.file);
        if (outcome.exited && outcome.code == 125) GTEST_SKIP() << "cannot make root obey file permissions here";
        Problems problems;
        if (!outcome.exited || outcome.code != 1) problems.push_back("the run " + describe(outcome) + ", not 1");
        if (snapshot(unwritable.watched) != before) problems.push_back("the destination folder changed");
        fs::permissions(unwritable.watched, fs::perms::owner_write, fs::perm_options::add);
        checkAfter(unwritable.name, problems);
    }
}

INSTANTIATE_TEST_SUITE_P(BothEntryPoints, FaultInjection, ::testing::Values(epubBook(), blioBook()),
                         [](const auto& info) { return info.param.command; });

}  // namespace
}  // namespace packager::testing
