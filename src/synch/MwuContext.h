#pragma once

#include <chrono>
#include <functional>

class CMwuNotifier;
class CMwuSynchState;
class CMwuTaskList;
class CUserInteraction;

// What every task manager of the program works with.
struct CMwuContext
{
    CMwuSynchState& state;
    CMwuTaskList& tasks;
    CMwuNotifier& notifier;
    CUserInteraction& ui;
    // How the retry rules wait (1000 ms between attempts); tests pass a wait that does not sleep.
    std::function<void(std::chrono::milliseconds)> wait;
};
