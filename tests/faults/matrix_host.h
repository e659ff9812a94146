// The fault matrix's host inside a sandbox machine: runs the rows of some phases in an order
// shuffled from a seed, each at the positions it names, and checks each run: that its fault
// fired, the operation's result, the warnings and errors the host received, the last-error
// text, the time it took, that no tool process was left behind, and after a success that what
// came back (the restored drive, the listing, the system state) matches the store.
#pragma once
#include "tests/common/sandbox_host.h"
#include "tests/faults/fault_matrix.h"

#include <string>
#include <vector>

// The seed of the run's order: "--seed N", else CVEX_FAULT_SEED, else the clock; one per process.
unsigned long long MatrixSeed();

class MatrixHost : public SandboxHost
{
protected:
    // Every row of these phases, shuffled together; uiMiddle is the middle object or line.
    void RunRows(const std::vector<faultmatrix::Phase>& phases, unsigned uiMiddle);
    // Lists without faults and checks the listing against the store: the listing of every
    // successful listing row must be this one.
    void TakeCleanListing();

private:
    bool Operate(faultmatrix::Phase phase);
    std::vector<unsigned> WarningAndErrorIds();
    void RunOne(const faultmatrix::Row& row, faultmatrix::Position pos, unsigned uiMiddle);
    void ExpectFired(const faultmatrix::Row& row, faultmatrix::Position pos, unsigned uiMiddle);
    void ExpectCameBack(faultmatrix::Phase phase);

    std::vector<std::wstring> m_cleanListing;
};
