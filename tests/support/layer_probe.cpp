// A small dialogue on the text layer alone, driven by the transcript cases
// of tests/transcripts/layer: prompts and answers, the 80-column rule, a
// formatted echo, a write to a channel never opened, stop and pause.
#include "common/io.hpp"

using namespace common;

static void probe()
{
    int n = 0;
    double x = 0.0;
    write_free(screen, {"Give an integer and a real"});
    read_free(keyboard, {n, x});
    write_free(screen, {"Read:", n, x});
    write_fmt(screen, "(1X,'I=',I5,' X=',F10.4,' G=',G15.9)", {n, x, x});

    Text name(70);
    write_free(screen, {"Give a name"});
    read_free(keyboard, {name});
    write_free(screen, {"Header in file: ", name});

    int choice = 0;
    write_free(screen, {"Stop with a message? (1/0)"});
    read_free(keyboard, {choice});
    if (choice == 1) stop("N<=0");

    pause("bad argument");
    write_free(screen, {"resumed"});
    write_fmt(15, "(4X,'FRACVAR : ',F7.4,5X,'file : ',A40)", {x, name});
    write_free(screen, {});
}

int main() { return run_main(probe); }
