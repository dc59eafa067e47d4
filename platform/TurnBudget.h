#pragma once
// One time budget a turn for the work a thread's event loop takes in slices:
// the session's drain of what its I/O thread brought and a view's index of a
// flood each stop at a budget of their own, and in a turn that ran a drain,
// the layout's catch-up and a priority slice their budgets added up past
// what a turn may hold beside the paint and the history's write. Now each
// asks the turn for its slice: it gets its own budget, cut to what the turn
// has left, and never less than a floor, so that each of them still moves on
// in every turn.
//
// The loop's owner starts each turn (BeginTurn, from the event dispatcher's
// wake). Before the first BeginTurn on a thread (a core test, a loop nobody
// hooked) every slice gets its own budget whole, as before.

#include <cstdint>
#include <utility>

namespace quillpad {

class CTurnBudget {
  public:
    // What the sliced work of one turn may take in all (the spill's write,
    // the drain, an index slice), leaving the paint, the floors and what the
    // kernel does on this core (a loopback flood's network work) room within
    // a 16 ms frame.
    static constexpr std::int64_t kTurnNs = 8'000'000;
    // The least a slice is given, however late in the turn it comes.
    static constexpr std::int64_t kFloorNs = 1'000'000;

    void BeginTurn(std::int64_t nowNs) {
        m_started = true;
        m_spent = false;
        m_intakeStopped = false;
        m_turnStartNs = nowNs;
    }
    // Something in this turn must catch up before more comes in (the
    // history's writes to disk behind the intake): the rest of the turn's
    // slices get the floor only, and a slice that is running stops at its
    // next check once it had the floor.
    void Spend() { m_spent = true; }
    bool Spent() const { return m_spent; }
    // The same, and what takes in from outside (the session's drain) takes
    // nothing more this turn: the link's own flow control holds the device
    // back until the catching up is done. Only what does the catching up in
    // every turn may stop the intake, or it would never start again.
    void StopIntake() { m_spent = m_intakeStopped = true; }
    bool IntakeStopped() const { return m_intakeStopped; }
    bool Started() const { return m_started; }
    // True at the first call on the thread only: that caller connects the
    // loop's wake to BeginTurn.
    bool FirstHook() { return !std::exchange(m_hooked, true); }

    // How long, from `nowNs`, a slice that would take `wantNs` may run.
    std::int64_t Grant(std::int64_t wantNs, std::int64_t nowNs) const;

  private:
    bool m_started = false;
    bool m_spent = false;
    bool m_intakeStopped = false;
    bool m_hooked = false;
    std::int64_t m_turnStartNs = 0;
};

// The calling thread's budget.
CTurnBudget& ThreadTurnBudget();

// The steady clock in ns, the time BeginTurn and Grant take.
std::int64_t SteadyNowNs();

}  // namespace quillpad
