// emulated-device: runs a program with a device node of its own, emulated in
// a umockdev testbed (no kernel module), its ioctls answered here, through
// the real user-space libraries the program uses.
//   emulated-device comedi|gpio [options] -- program [arguments...]
// Options:
//   --faults TEXT      the loopback's faults, as ADCARD_SIM_FAULTS says them
//   --lines N          wired lines (128)
//   --layout di-do|dio the comedi board's digital subdevices (di-do)
//   --no-query         the comedi driver does not answer INSN_CONFIG_DIO_QUERY
//   --vanish-after N   the device answers N instructions, then ENODEV only
//   --state FILE       what the lines are left at, written once the program ends
// Exits with the program's status (128 + signal where a signal ended it).
#include "emulated/comedi_device.h"

#include <glib-unix.h>
#include <glib.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <sys/wait.h>

namespace {

struct Run {
    std::unique_ptr<emulated::EmulatedDevice> device;
    std::string stateFile;
    char** program = nullptr;
};

int number(const char* text) {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (*end != '\0' || value < 0 || value > 1000000)
        throw std::invalid_argument(std::string("not a number: ") + text);
    return static_cast<int>(value);
}

Run parse(int argc, char** argv) {
    if (argc < 2)
        throw std::invalid_argument("usage: emulated-device comedi|gpio [options] -- program...");
    const std::string kind = argv[1];
    emulated::ComediOptions comedi;
    Run run;
    int i = 2;
    for (; i < argc && std::string(argv[i]) != "--"; ++i) {
        const std::string option = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : "";
        if (option == "--no-query") {
            comedi.query = false;
            continue;
        }
        if (i + 1 >= argc)
            throw std::invalid_argument(option + " needs a value");
        ++i;
        if (option == "--faults")
            comedi.faults = value;
        else if (option == "--lines")
            comedi.lines = number(value);
        else if (option == "--layout")
            comedi.dio = std::string(value) == "dio";
        else if (option == "--vanish-after")
            comedi.vanishAfter = number(value);
        else if (option == "--state")
            run.stateFile = value;
        else
            throw std::invalid_argument("unknown option " + option);
    }
    if (i + 1 >= argc)
        throw std::invalid_argument("no program after --");
    if (comedi.lines <= 0 || comedi.lines > 128)
        throw std::invalid_argument("--lines: 1 to 128");
    run.program = argv + i + 1;
    if (kind == "comedi")
        run.device = std::make_unique<emulated::ComediDevice>(comedi);
    else
        throw std::invalid_argument("no such device: " + kind);
    return run;
}

gboolean answer(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer device) {
    static_cast<emulated::EmulatedDevice*>(device)->ioctl(client);
    return TRUE;
}

struct Ended {
    GMainLoop* loop;
    GPid child = 0;
    int status = 0;
};

template <int Signal> gboolean passOn(gpointer data) {
    kill(static_cast<Ended*>(data)->child, Signal);
    return G_SOURCE_CONTINUE;
}

void ended(GPid, gint status, gpointer data) {
    auto* end = static_cast<Ended*>(data);
    end->status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    g_main_loop_quit(end->loop);
}

} // namespace

int main(int argc, char** argv) {
    Run run;
    try {
        run = parse(argc, argv);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "emulated-device: %s\n", error.what());
        return 2;
    }
    UMockdevTestbed* testbed = umockdev_testbed_new();
    GError* error = nullptr;
    UMockdevIoctlBase* handler = umockdev_ioctl_base_new();
    g_signal_connect(handler, "handle-ioctl", G_CALLBACK(answer), run.device.get());
    if (!umockdev_testbed_add_from_string(testbed, run.device->record().c_str(), &error) ||
        !umockdev_testbed_attach_ioctl(testbed, run.device->node().c_str(), handler, &error)) {
        std::fprintf(stderr, "emulated-device: %s\n", error->message);
        return 2;
    }
    gchar** environment = g_get_environ();
    const char* preload = g_environ_getenv(environment, "LD_PRELOAD");
    const std::string preloads =
        std::string("libumockdev-preload.so.0") + (preload ? std::string(" ") + preload : "");
    environment = g_environ_setenv(environment, "LD_PRELOAD", preloads.c_str(), TRUE);
    GPid child = 0;
    if (!g_spawn_async(nullptr, run.program, environment,
                       static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD |
                                                G_SPAWN_CHILD_INHERITS_STDIN),
                       nullptr, nullptr, &child, &error)) {
        std::fprintf(stderr, "emulated-device: %s\n", error->message);
        return 2;
    }
    g_strfreev(environment);
    Ended end{g_main_loop_new(nullptr, FALSE), child};
    g_child_watch_add(child, ended, &end);
    // A signal to this process goes on to the program, which ends as it would.
    g_unix_signal_add(SIGTERM, passOn<SIGTERM>, &end);
    g_unix_signal_add(SIGINT, passOn<SIGINT>, &end);
    g_main_loop_run(end.loop);
    if (!run.stateFile.empty())
        std::ofstream(run.stateFile) << run.device->state();
    g_main_loop_unref(end.loop);
    g_object_unref(handler);
    g_object_unref(testbed);
    return end.status;
}
