#pragma once

#include <utility>

namespace packager {

// Runs an action when the scope ends, however it ends: the way a run removes
// its workspace on every return path.
template <typename Action>
class OnScopeExit {
public:
    explicit OnScopeExit(Action action) : action(std::move(action)) {}
    OnScopeExit(const OnScopeExit&) = delete;
    OnScopeExit& operator=(const OnScopeExit&) = delete;
    ~OnScopeExit() { action(); }

private:
    Action action;
};

}  // namespace packager
