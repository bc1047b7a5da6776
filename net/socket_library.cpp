// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/socket_library.h"

#include "net/socket_errors.h"

#include <mutex>

namespace pingvard {
namespace {

// The one piece of process-wide state of this layer: the library is shared by
// every socket of the process, so its use count is too.
struct TLibraryState {
    std::mutex Lock;
    int UseCount = 0;
};

TLibraryState& LibraryState() {
    static TLibraryState state;
    return state;
}

} // namespace

bool LoadSocketLibrary(const std::string& /*name*/) {
    auto& state = LibraryState();
    std::lock_guard lock(state.Lock);
    ++state.UseCount;
    return true;
}

void ReleaseSocketLibrary() {
    auto& state = LibraryState();
    std::lock_guard lock(state.Lock);
    if (state.UseCount > 0) {
        --state.UseCount;
    }
}

int SocketLibraryUseCount() {
    auto& state = LibraryState();
    std::lock_guard lock(state.Lock);
    return state.UseCount;
}

TSocketLibrary::TSocketLibrary(const std::string& name) {
    if (!LoadSocketLibrary(name)) {
        const std::string text = "Error loading Socket interface (" + name + ")!";
        throw ESocketError(text, 0, text);
    }
}

TSocketLibrary::~TSocketLibrary() {
    ReleaseSocketLibrary();
}

} // namespace pingvard
