#include "common/graphics.hpp"

#include <string>

#include "common/io.hpp"

namespace common {
namespace {

using plotting::trimmed;

class TerminalPlotter : public plotting::GizaPlotter {
public:
    bool begin(int unit, std::string_view device, int nxsub, int nysub) override
    {
        std::string name = trimmed(device) == "?" ? ask_device() : std::string(device);
        flush_screen();
        if (!GizaPlotter::begin(unit, name, nxsub, nysub)) {
            write_free(screen, {"Graphics device " + trimmed(name) + " cannot be opened: nothing is drawn on it."});
            return false;
        }
        return true;
    }

    std::string end() override
    {
        const std::string why = GizaPlotter::end();
        if (!why.empty()) throw ProgramEnd{2, device_file() + ": cannot be written (" + why + ")"};
        flush_screen();
        return {};
    }

private:
    std::string ask_device()
    {
        for (;;) {
            write_raw(screen, "Graphics device/type (? to see list, default /xw):");
            std::string answer;
            read_line(keyboard, answer);  // the end of standard input is an input error
            answer = trimmed(answer);
            if (answer == "?") {
                flush_screen();
                list_devices();
                flush_screen();
                continue;
            }
            return answer.empty() ? "/xw" : answer;
        }
    }
};

TerminalPlotter giza;
plotting::Plotter* current = &giza;

}  // namespace

plotting::Plotter& graphics() { return *current; }

void use_graphics(plotting::Plotter* plotter) { current = plotter ? plotter : &giza; }

}  // namespace common
