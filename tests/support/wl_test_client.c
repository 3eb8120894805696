// A tiny Wayland client for the Wayland desktop tests:
//
//   wl-test-client token          print an xdg-activation token, as a panel asks for one
//                                 before it hands it to the program whose icon was clicked:
//                                 from a small window of its own that has the keyboard, as
//                                 a panel that was just clicked (compositors that trust no
//                                 test panel grant tokens only to the active window)
//   wl-test-client type TEXT      type TEXT (a-z, A-Z, 0-9, space, - . , and \n for Enter)
//                                 through KWin's fake input, a key every 8 ms
//
// The compositor is the one of $WAYLAND_DISPLAY. Exit status 0 when done, 1 when the
// compositor lacks the protocol or refused.
#include <linux/input-event-codes.h>
#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>
#include <wayland-client.h>

#include "fake-input-client-protocol.h"
#include "xdg-activation-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"

struct Globals {
    struct xdg_activation_v1* activation;
    struct org_kde_kwin_fake_input* fakeInput;
    struct wl_compositor* compositor;
    struct wl_shm* shm;
    struct xdg_wm_base* wmBase;
    struct wl_seat* seat;
};

static void OnGlobal(void* data, struct wl_registry* registry, uint32_t name,
                     const char* interface, uint32_t version) {
    struct Globals* globals = data;
    if (strcmp(interface, xdg_activation_v1_interface.name) == 0)
        globals->activation = wl_registry_bind(registry, name, &xdg_activation_v1_interface, 1);
    else if (strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 && version >= 4)
        globals->fakeInput =
            wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, 4);
    else if (strcmp(interface, wl_compositor_interface.name) == 0)
        globals->compositor = wl_registry_bind(registry, name, &wl_compositor_interface, 1);
    else if (strcmp(interface, wl_shm_interface.name) == 0)
        globals->shm = wl_registry_bind(registry, name, &wl_shm_interface, 1);
    else if (strcmp(interface, xdg_wm_base_interface.name) == 0)
        globals->wmBase = wl_registry_bind(registry, name, &xdg_wm_base_interface, 1);
    else if (strcmp(interface, wl_seat_interface.name) == 0 && !globals->seat)
        globals->seat = wl_registry_bind(registry, name, &wl_seat_interface, 1);
}

static void OnGlobalRemove(void* data, struct wl_registry* registry, uint32_t name) {
    (void)data;
    (void)registry;
    (void)name;
}

static const struct wl_registry_listener kRegistryListener = {OnGlobal, OnGlobalRemove};

static void OnToken(void* data, struct xdg_activation_token_v1* token, const char* text) {
    (void)token;
    *(char**)data = strdup(text);
}

static const struct xdg_activation_token_v1_listener kTokenListener = {OnToken};

// The panel's own window: mapped, then held until the keyboard comes to it.
struct Panel {
    struct wl_surface* surface;
    struct xdg_surface* xdgSurface;
    struct xdg_toplevel* toplevel;
    struct wl_keyboard* keyboard;
    struct wl_buffer* buffer;
    int configured;
    int focused;
    uint32_t serial;
};

static void OnPing(void* data, struct xdg_wm_base* base, uint32_t serial) {
    (void)data;
    xdg_wm_base_pong(base, serial);
}
static const struct xdg_wm_base_listener kWmBaseListener = {OnPing};

static void OnSurfaceConfigure(void* data, struct xdg_surface* surface, uint32_t serial) {
    struct Panel* panel = data;
    xdg_surface_ack_configure(surface, serial);
    if (!panel->configured) {
        wl_surface_attach(panel->surface, panel->buffer, 0, 0);
        wl_surface_damage(panel->surface, 0, 0, 32, 32);
    }
    wl_surface_commit(panel->surface);
    panel->configured = 1;
}
static const struct xdg_surface_listener kSurfaceListener = {OnSurfaceConfigure};

static void OnToplevelConfigure(void* d, struct xdg_toplevel* t, int32_t w, int32_t h,
                                struct wl_array* s) {
    (void)d, (void)t, (void)w, (void)h, (void)s;
}
static void OnToplevelClose(void* d, struct xdg_toplevel* t) {
    (void)d, (void)t;
}
static const struct xdg_toplevel_listener kToplevelListener = {.configure = OnToplevelConfigure,
                                                               .close = OnToplevelClose};

static void OnKeymap(void* d, struct wl_keyboard* k, uint32_t f, int32_t fd, uint32_t size) {
    (void)d, (void)k, (void)f, (void)size;
    close(fd);
}
static void OnEnter(void* data, struct wl_keyboard* k, uint32_t serial, struct wl_surface* s,
                    struct wl_array* keys) {
    struct Panel* panel = data;
    (void)k, (void)keys;
    if (s == panel->surface) {
        panel->focused = 1;
        panel->serial = serial;
    }
}
static void OnLeave(void* d, struct wl_keyboard* k, uint32_t serial, struct wl_surface* s) {
    (void)d, (void)k, (void)serial, (void)s;
}
static void OnKey(void* d, struct wl_keyboard* k, uint32_t serial, uint32_t t, uint32_t key,
                  uint32_t state) {
    (void)d, (void)k, (void)serial, (void)t, (void)key, (void)state;
}
static void OnModifiers(void* d, struct wl_keyboard* k, uint32_t serial, uint32_t a, uint32_t b,
                        uint32_t c, uint32_t e) {
    (void)d, (void)k, (void)serial, (void)a, (void)b, (void)c, (void)e;
}
static const struct wl_keyboard_listener kKeyboardListener = {
    .keymap = OnKeymap, .enter = OnEnter, .leave = OnLeave, .key = OnKey, .modifiers = OnModifiers};

static struct wl_buffer* SolidBuffer(struct wl_shm* shm) {
    const int size = 32 * 32 * 4;
    char name[] = "/tmp/olvex-wl-panel-XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0)
        return NULL;
    unlink(name);
    if (ftruncate(fd, size) != 0) {
        close(fd);
        return NULL;
    }
    void* pixels = mmap(NULL, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (pixels != MAP_FAILED) {
        memset(pixels, 0x80, size);
        munmap(pixels, size);
    }
    struct wl_shm_pool* pool = wl_shm_create_pool(shm, fd, size);
    struct wl_buffer* buffer = wl_shm_pool_create_buffer(pool, 0, 32, 32, 32 * 4,
                                                         WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);
    close(fd);
    return buffer;
}

// Maps the panel's window and waits up to two seconds for the keyboard to come to it.
static void OpenPanel(struct wl_display* display, struct Globals* g, struct Panel* panel) {
    memset(panel, 0, sizeof *panel);
    if (!g->compositor || !g->shm || !g->wmBase || !g->seat)
        return;
    xdg_wm_base_add_listener(g->wmBase, &kWmBaseListener, NULL);
    panel->keyboard = wl_seat_get_keyboard(g->seat);
    wl_keyboard_add_listener(panel->keyboard, &kKeyboardListener, panel);
    panel->buffer = SolidBuffer(g->shm);
    panel->surface = wl_compositor_create_surface(g->compositor);
    panel->xdgSurface = xdg_wm_base_get_xdg_surface(g->wmBase, panel->surface);
    xdg_surface_add_listener(panel->xdgSurface, &kSurfaceListener, panel);
    panel->toplevel = xdg_surface_get_toplevel(panel->xdgSurface);
    xdg_toplevel_add_listener(panel->toplevel, &kToplevelListener, panel);
    xdg_toplevel_set_title(panel->toplevel, "Test panel");
    wl_surface_commit(panel->surface);
    struct pollfd fd = {wl_display_get_fd(display), POLLIN, 0};
    for (int waited = 0; !panel->focused && waited < 2000; waited += 20) {
        wl_display_flush(display);
        if (wl_display_prepare_read(display) == 0) {
            if (poll(&fd, 1, 20) > 0)
                wl_display_read_events(display);
            else
                wl_display_cancel_read(display);
        }
        wl_display_dispatch_pending(display);
    }
}

static void Pause(long milliseconds);

static int PrintToken(struct wl_display* display, struct Globals* globals) {
    if (!globals->activation) {
        fputs("wl-test-client: no xdg_activation_v1\n", stderr);
        return 1;
    }
    struct Panel panel;
    OpenPanel(display, globals, &panel);
    char* text = NULL;
    struct xdg_activation_token_v1* token =
        xdg_activation_v1_get_activation_token(globals->activation);
    xdg_activation_token_v1_add_listener(token, &kTokenListener, &text);
    if (panel.focused) {
        xdg_activation_token_v1_set_surface(token, panel.surface);
        xdg_activation_token_v1_set_serial(token, panel.serial, globals->seat);
    }
    xdg_activation_token_v1_commit(token);
    while (!text && wl_display_dispatch(display) != -1) {
    }
    if (!text)
        return 1;
    printf("%s\n", text);
    fflush(stdout);
    free(text);
    xdg_activation_token_v1_destroy(token);
    // A compositor honours the token only while the window it was asked from is still
    // active: the panel stays a few seconds, in the background, as a real one stays.
    if (panel.focused && fork() == 0) {
        const int null = open("/dev/null", O_RDWR);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        for (int i = 0; i < 150 && wl_display_roundtrip(display) != -1; ++i)
            Pause(20);
        wl_display_disconnect(display);
        _exit(0);
    }
    _exit(0);
}

// The evdev code of a character on a US keyboard, and whether it needs Shift; -1: none.
static int KeyOf(char c, int* shift) {
    static const char* const rows[] = {"1234567890-", "qwertyuiop", "asdfghjkl", "zxcvbnm,."};
    static const int firsts[] = {KEY_1, KEY_Q, KEY_A, KEY_Z};
    *shift = c >= 'A' && c <= 'Z';
    if (*shift)
        c = (char)(c - 'A' + 'a');
    if (c == ' ')
        return KEY_SPACE;
    if (c == '\n')
        return KEY_ENTER;
    for (size_t row = 0; row < sizeof rows / sizeof rows[0]; ++row) {
        const char* at = strchr(rows[row], c);
        if (at && c)
            return firsts[row] + (int)(at - rows[row]);
    }
    return -1;
}

static void Pause(long milliseconds) {
    struct timespec pause = {0, milliseconds * 1000000L};
    nanosleep(&pause, NULL);
}

static int Type(struct wl_display* display, struct Globals* globals, const char* text) {
    if (!globals->fakeInput) {
        fputs("wl-test-client: no org_kde_kwin_fake_input version 4\n", stderr);
        return 1;
    }
    org_kde_kwin_fake_input_authenticate(globals->fakeInput, "olvex tests", "typing");
    for (const char* c = text; *c; ++c) {
        int shift = 0;
        const int key = KeyOf(*c, &shift);
        if (key < 0) {
            fprintf(stderr, "wl-test-client: cannot type '%c'\n", *c);
            return 1;
        }
        if (shift)
            org_kde_kwin_fake_input_keyboard_key(globals->fakeInput, KEY_LEFTSHIFT, 1);
        org_kde_kwin_fake_input_keyboard_key(globals->fakeInput, (uint32_t)key, 1);
        org_kde_kwin_fake_input_keyboard_key(globals->fakeInput, (uint32_t)key, 0);
        if (shift)
            org_kde_kwin_fake_input_keyboard_key(globals->fakeInput, KEY_LEFTSHIFT, 0);
        wl_display_flush(display);
        Pause(8);
    }
    return wl_display_roundtrip(display) == -1;
}

int main(int argc, char** argv) {
    if (argc < 2 || (strcmp(argv[1], "token") != 0 && !(strcmp(argv[1], "type") == 0 && argc == 3))) {
        fputs("usage: wl-test-client token | type TEXT\n", stderr);
        return 2;
    }
    struct wl_display* display = wl_display_connect(NULL);
    if (!display) {
        fputs("wl-test-client: no Wayland display\n", stderr);
        return 1;
    }
    struct Globals globals = {NULL, NULL, NULL, NULL, NULL, NULL};
    struct wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kRegistryListener, &globals);
    wl_display_roundtrip(display);
    const int status = strcmp(argv[1], "token") == 0 ? PrintToken(display, &globals)
                                                     : Type(display, &globals, argv[2]);
    wl_display_disconnect(display);
    return status;
}
