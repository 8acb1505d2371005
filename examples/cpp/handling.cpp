// The handling station picks up a part at the front (where the belt ends) and
// puts it down on its plate at the back, waiting for an end switch after every
// move.
//
// Build it against the installed development package and try it without
// hardware, with a virtual module that has the station wired to it:
//     cmake -S . -B build && cmake --build build
//     brimlink-sim --com 7 --station handling      (in a second terminal)
//     build/handling
//
// How the station is wired to the module (output word 0, input word 0):
//     outputs  0 horizontal out (to the front)   1 horizontal in (to the back)
//              2 vertical out (down)             3 vertical in (up)
//              4 gripper closed
//     inputs   0 end switch back    1 end switch front
//              2 end switch up      3 end switch down
#include <QCoreApplication>

#include <brimlink/Control.h>

#include <chrono>
#include <cstdio>

namespace {

// Output bits. Each cylinder has a valve with two coils: "out" pushes the
// cylinder out, "in" pulls it back; the valve keeps its place in between.
constexpr short kToFront = 1 << 0;
constexpr short kToBack = 1 << 1;
constexpr short kDown = 1 << 2;
constexpr short kUp = 1 << 3;
constexpr short kGripper = 1 << 4;

// Input bits: the end switches.
constexpr short kAtBack = 1 << 0;
constexpr short kAtFront = 1 << 1;
constexpr short kIsUp = 1 << 2;
constexpr short kIsDown = 1 << 3;

// A cylinder that has not arrived by then is stuck (or has no air).
constexpr auto kMoveTimeLimit = std::chrono::seconds(10);

class HandlingStation {
public:
    explicit HandlingStation(brimlink::Control& ctl) : ctl_(ctl) {}

    // Finds the module and learns where the cylinders are now.
    bool Connect() {
        const short found = ctl_.Connect();  // one bit per module number found
        if (found == 0) {
            std::fprintf(stderr, "handling: no module found\n");
            return false;
        }
        module_ = 1;  // the first module found
        while ((found & (1 << (module_ - 1))) == 0) ++module_;
        // The module reports every change of its inputs; the control passes it on.
        ctl_.OnInputWordChanged([this](short mod, short word, long value) {
            if (mod == module_ && word == 0) inputs_ = static_cast<short>(value);
        });
        inputs_ = static_cast<short>(ctl_.GetInputWord(module_, 0));
        std::printf("module %d on COM %d, inputs 0x%02X\n", module_, ctl_.GetComPort(module_),
                    static_cast<unsigned>(inputs_));
        return brimlink::Succeeded(ctl_.LastError());
    }

    // Switches the outputs and waits until the end switch `until` is on.
    bool Move(const char* what, short outputs, short until) {
        std::printf("%s\n", what);
        // The rule of this station: never move horizontally while the gripper
        // is down, or it sweeps the parts off the plate.
        const bool horizontalChanges = (outputs & (kToFront | kToBack)) != (outputs_ & (kToFront | kToBack));
        if (horizontalChanges && (inputs_ & kIsUp) == 0) {
            std::fprintf(stderr, "handling: refusing to move horizontally while the gripper is not up\n");
            return false;
        }
        if (brimlink::Failed(ctl_.SetDigitalOutput0(outputs))) {
            std::fprintf(stderr, "handling: the control failed (0x%08X)\n", static_cast<unsigned>(ctl_.LastError()));
            return false;
        }
        outputs_ = outputs;
        return WaitFor(until);
    }

    // The gripper has no switch: give it a moment to close or open.
    bool Grip(const char* what, short outputs) {
        std::printf("%s\n", what);
        if (brimlink::Failed(ctl_.SetDigitalOutput0(outputs))) return false;
        outputs_ = outputs;
        Pause(std::chrono::milliseconds(500));
        return true;
    }

private:
    bool WaitFor(short switches) {
        const auto deadline = std::chrono::steady_clock::now() + kMoveTimeLimit;
        while ((inputs_ & switches) != switches) {
            if (std::chrono::steady_clock::now() > deadline) {
                std::fprintf(stderr, "handling: the end switch (inputs 0x%02X) did not come on in time\n",
                             static_cast<unsigned>(switches));
                return false;
            }
            // Lets the control work for 2 ms: the input reports arrive here,
            // and the handler above updates inputs_.
            ctl_.DoProcess();
        }
        return true;
    }

    void Pause(std::chrono::milliseconds time) {
        const auto end = std::chrono::steady_clock::now() + time;
        while (std::chrono::steady_clock::now() < end) ctl_.DoProcess();
    }

    brimlink::Control& ctl_;
    short module_ = 0;
    short inputs_ = 0;   // input word 0 as the module last reported it
    short outputs_ = 0;  // what we last switched on
};

}  // namespace

int main(int argc, char** argv) {
    // The control needs a Qt event loop on this thread; DoProcess runs it.
    QCoreApplication application(argc, argv);

    brimlink::Control ctl;  // found through the class registry
    if (!ctl) {
        std::fprintf(stderr, "handling: cannot create the control: %s\n", ctl.CreationDetail().c_str());
        return 1;
    }
    HandlingStation station(ctl);
    if (!station.Connect()) return 1;

    // A fault stops the cycle where it is: the outputs stay as they are, so
    // the gripper does not drop its part.
    const bool done = station.Move("up", kUp, kIsUp) &&
                      station.Move("to the back", kToBack | kUp, kAtBack) &&
                      station.Move("to the front", kToFront | kUp, kAtFront) &&
                      station.Move("down to the part", kToFront | kDown, kIsDown) &&
                      station.Grip("grip", kToFront | kDown | kGripper) &&
                      station.Move("up with the part", kToFront | kUp | kGripper, kIsUp) &&
                      station.Move("to the back", kToBack | kUp | kGripper, kAtBack) &&
                      station.Move("down to the plate", kToBack | kDown | kGripper, kIsDown) &&
                      station.Grip("let go", kToBack | kDown) &&
                      station.Move("up again", kToBack | kUp, kIsUp);
    std::printf(done ? "the part is on the plate\n" : "stopped\n");
    return done ? 0 : 1;
}
