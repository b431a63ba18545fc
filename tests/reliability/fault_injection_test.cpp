// Faults a user's machine throws at a run: a full disk, a killed process, a
// destination it may not write. After each one the export must be as it was
// (or, for the files a run updates in place, completely updated), the
// destination must hold no partial package, and the next run must succeed.
//
// EBOOKPACK_FAULT_SEED replays another draw of kill moments;
// EBOOKPACK_FAULT_KILLS lowers their number for slow (sanitizer) builds.
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <random>
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

class FaultInjection : public ScratchTest, public ::testing::WithParamInterface<BookKind> {
protected:
    void SetUp() override {
        ScratchTest::SetUp();
        exportFolder = scratch / "export";
        destination = scratch / "out";
        log = scratch / "runs.log";
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

    std::optional<ChildProcess> start(const ChildLimits& limits = {}) {
        return ChildProcess::start(cliPath(), kind.arguments(exportFolder, destination), log, limits);
    }

    ChildOutcome run(const ChildLimits& limits = {}) {
        auto child = start(limits);
        return child ? child->wait() : ChildOutcome{};
    }

    bool isCompleteUpdate(const std::string& name) const {
        if (name == kind.xpsName) return readableEntries(exportFolder / name) == xpsEntries;
        auto found = updated.find(name);
        return found != updated.end() && readText(exportFolder / name) == found->second;
    }

    Problems damageToExport() const {
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
            if (!original.contains(name)) problems.push_back(name + " appeared in the export");
        return problems;
    }

    // A package at the destination must be whole, and nothing else may be
    // there: not even a temporary file.
    Problems damageAtDestination() {
        Problems problems;
        if (!fs::exists(destination)) return problems;
        const std::string packageName = kind.package(destination).filename().string();
        for (const auto& entry : fs::directory_iterator(destination)) {
            const std::string name = entry.path().filename().string();
            if (name == packageName) {
                if (readText(entry.path()) != packageBefore && readableEntries(entry.path()) != packageEntries)
                    problems.push_back("a partial " + name);
            } else {
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
        for (const auto& entry : fs::directory_iterator(tmp))
            if (entry.path().extension() != ".lock")
                problems.push_back("the next run left " + entry.path().filename().string() + " in TMPDIR");
        return problems;
    }

    // Checks the state a fault left, then the run after it, and resets the
    // export for the next fault. The package the run after it wrote stays at
    // the destination, so later faults also meet an older package there.
    void checkAfter(const std::string& fault, Problems problems = {}) {
        ++faults;
        for (Problems found : {damageToExport(), damageAtDestination()})
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
    fs::path exportFolder, destination, log;
    Snapshot original;                         // the export before any run
    std::map<std::string, std::string> updated; // in-place files after a complete run
    std::vector<std::string> packageEntries, xpsEntries;
    std::string packageBefore;                 // at the destination when a fault strikes
    std::chrono::duration<double> runTime{};
    int faults = 0, runsChecked = 0, lost = 0;
};

TEST_P(FaultInjection, FullDiskAtSeveralPoints) {
    const auto size = static_cast<rlim_t>(fs::file_size(kind.package(destination)));
    for (rlim_t limit : {rlim_t{0}, rlim_t{1024}, rlim_t{16384}, size / 8, size / 4, size / 2, size * 3 / 4, size - 1}) {
        const ChildOutcome outcome = run({.fileSizeLimit = limit});
        Problems problems;
        if (!outcome.exited) problems.push_back("the run " + describe(outcome));
        checkAfter("files limited to " + std::to_string(limit) + " bytes", problems);
    }
}

TEST_P(FaultInjection, KillAtRandomMoments) {
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
        checkAfter("killed after " + std::to_string(static_cast<int>(delay.count() * 1000)) + " ms");
    }
    std::cout << "[ faults ] " << kind.command << ": " << finishedFirst << " runs had finished before their kill\n";
}

TEST_P(FaultInjection, ReadOnlyDestination) {
    struct Case {
        std::string name;
        fs::path locked;       // the folder made read-only
        fs::path destination;  // the folder the package is asked for in
    };
    const std::vector<Case> cases = {
        {"an empty read-only destination", scratch / "empty", scratch / "empty"},
        {"a read-only destination holding an older package", destination, destination},
        {"a missing destination below a read-only folder", scratch / "locked", scratch / "locked" / "new"},
    };
    for (const Case& lockedCase : cases) {
        fs::create_directories(lockedCase.locked);
        destination = lockedCase.destination;
        const Snapshot before = snapshot(lockedCase.locked);
        fs::permissions(lockedCase.locked, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove);
        const ChildOutcome outcome = run({.fileSizeLimit = std::nullopt, .obeyPermissions = true});
        if (outcome.exited && outcome.code == 125) GTEST_SKIP() << "cannot make root obey file permissions here";
        Problems problems;
        if (!outcome.exited || outcome.code != 1) problems.push_back("the run " + describe(outcome) + ", not 1");
        if (snapshot(lockedCase.locked) != before) problems.push_back("the read-only folder changed");
        fs::permissions(lockedCase.locked, fs::perms::owner_write, fs::perm_options::add);
        checkAfter(lockedCase.name, problems);
    }
}

INSTANTIATE_TEST_SUITE_P(BothEntryPoints, FaultInjection, ::testing::Values(epubBook(), blioBook()),
                         [](const auto& info) { return info.param.command; });

}  // namespace
}  // namespace packager::testing
