// SPDX-License-Identifier: GPL-3.0-or-later
// SIGINT/SIGTERM turned into a readable descriptor (the self-pipe trick), so
// that every wait of the simulator can include the stop request in its poll.
#pragma once

namespace pingvard::apsim {

class TStopSignal {
public:
    TStopSignal();  // installs the handlers
    ~TStopSignal(); // restores the default actions
    TStopSignal(const TStopSignal&) = delete;
    TStopSignal& operator=(const TStopSignal&) = delete;

    int Fd() const { return m_readFd; } // readable once a stop was requested
    bool Requested() const;

private:
    int m_readFd = -1;
    int m_writeFd = -1;
};

} // namespace pingvard::apsim
