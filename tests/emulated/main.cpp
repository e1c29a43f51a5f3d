// emulated-device: runs a program with a device node of its own, emulated in
// a umockdev testbed (no kernel module), its ioctls answered here, through
// the real user-space libraries the program uses.
//   emulated-device comedi|gpio [options] -- program [arguments...]
// Options:
//   --faults TEXT      the loopback's faults, as ADCARD_SIM_FAULTS says them
//   --lines N          wired lines (128)
//   --layout di-do|dio the comedi board's digital subdevices (di-do)
//   --no-query         the comedi driver does not answer INSN_CONFIG_DIO_QUERY
//   --label TEXT       the GPIO chip's label (emulated-loopback)
//   --held LINE=NAME   a GPIO line another program holds, under its name
//   --vanish-after N   the device answers N instructions (GPIO: requests), then ENODEV only
//   --state FILE       what the lines are left at, written once the program ends
// Exits with the program's status (128 + signal where a signal ended it).
#include "emulated/comedi_device.h"
#include "emulated/gpio_device.h"

#include <glib-unix.h>
#include <glib.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

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
    emulated::GpioOptions gpio;
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
        else if (option == "--label")
            gpio.label = value;
        else if (option == "--held") {
            const std::string held = value;
            const auto equals = held.find('=');
            if (equals == std::string::npos)
                throw std::invalid_argument("--held LINE=NAME");
            gpio.held[number(held.substr(0, equals).c_str())] = held.substr(equals + 1);
        } else if (option == "--state")
            run.stateFile = value;
        else
            throw std::invalid_argument("unknown option " + option);
    }
    if (i + 1 >= argc)
        throw std::invalid_argument("no program after --");
    if (comedi.lines <= 0 || comedi.lines > 128)
        throw std::invalid_argument("--lines: 1 to 128");
    run.program = argv + i + 1;
    // A device number of this run's own: the self-test's lock is the card's,
    // and emulations run side by side are different cards.
    comedi.number = 1000 + static_cast<int>(getpid() % 100000);
    gpio.number = comedi.number;
    gpio.lines = comedi.lines;
    gpio.faults = comedi.faults;
    gpio.vanishAfter = comedi.vanishAfter;
    if (kind == "comedi")
        run.device = std::make_unique<emulated::ComediDevice>(comedi);
    else if (kind == "gpio")
        run.device = std::make_unique<emulated::GpioDevice>(gpio);
    else
        throw std::invalid_argument("no such device: " + kind);
    return run;
}

gboolean answer(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer device) {
    static_cast<emulated::EmulatedDevice*>(device)->ioctl(client);
    return TRUE;
}

void vanished(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer device) {
    static_cast<emulated::EmulatedDevice*>(device)->vanished(client);
}

struct Ended {
    GMainLoop* loop;
    GPid child = 0;
    int status = 0;
};

template <int Signal> gboolean passOn(gpointer data) {
    kill(-static_cast<Ended*>(data)->child, Signal);
    return G_SOURCE_CONTINUE;
}

// The program in a process group of its own, so that what it leaves running
// (a server started in the background) goes when it ends.
void ownGroup(gpointer) {
    setpgid(0, 0);
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
    g_signal_connect(handler, "client-vanished", G_CALLBACK(vanished), run.device.get());
    // Where no udev runs (a bare chroot), umockdev says on the standard error
    // that it could not announce the device, which is the program's channel:
    // quiet while the device is made; a real failure is the GError.
    const int standardError = dup(STDERR_FILENO);
    const int quiet = open("/dev/null", O_WRONLY | O_CLOEXEC);
    dup2(quiet, STDERR_FILENO);
    close(quiet);
    const bool made =
        umockdev_testbed_add_from_string(testbed, run.device->record().c_str(), &error);
    dup2(standardError, STDERR_FILENO);
    close(standardError);
    if (!made ||
        !umockdev_testbed_attach_ioctl(testbed, run.device->node().c_str(), handler, &error)) {
        std::fprintf(stderr, "emulated-device: %s\n", error->message);
        return 2;
    }
    try {
        gchar* root = umockdev_testbed_get_root_dir(testbed); // the caller's to free
        const std::string folder = root;
        g_free(root);
        run.device->prepare(folder);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "emulated-device: %s\n", failure.what());
        return 2;
    }
    gchar** environment = g_get_environ();
    // Ours first, so that its ioctl comes before umockdev's (see gpio_preload.c).
    const char* preload = g_environ_getenv(environment, "LD_PRELOAD");
    const std::string preloads = std::string(EMULATED_PRELOAD) + " libumockdev-preload.so.0" +
                                 (preload ? std::string(" ") + preload : "");
    environment = g_environ_setenv(environment, "LD_PRELOAD", preloads.c_str(), TRUE);
    environment = g_environ_setenv(environment, "EMULATED_NODE", run.device->node().c_str(), TRUE);
    GPid child = 0;
    if (!g_spawn_async(nullptr, run.program, environment,
                       static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD |
                                                G_SPAWN_CHILD_INHERITS_STDIN),
                       ownGroup, nullptr, &child, &error)) {
        std::fprintf(stderr, "emulated-device: %s\n", error->message);
        return 2;
    }
    g_strfreev(environment);
    Ended end{g_main_loop_new(nullptr, FALSE), child};
    g_child_watch_add(child, ended, &end);
    // A signal to this process goes on to the program's group, which ends as it would.
    g_unix_signal_add(SIGTERM, passOn<SIGTERM>, &end);
    g_unix_signal_add(SIGINT, passOn<SIGINT>, &end);
    g_main_loop_run(end.loop);
    kill(-child, SIGKILL);
    if (!run.stateFile.empty())
        std::ofstream(run.stateFile) << run.device->state();
    g_main_loop_unref(end.loop);
    g_object_unref(handler);
    g_object_unref(testbed);
    return end.status;
}
