// A tiny Wayland client for the Wayland desktop tests:
//
//   wl-test-client token          print an xdg-activation token, as a panel asks for one
//                                 before it hands it to the program whose icon was clicked
//   wl-test-client type TEXT      type TEXT (a-z, A-Z, 0-9, space, - . , and \n for Enter)
//                                 through KWin's fake input, a key every 8 ms
//
// The compositor is the one of $WAYLAND_DISPLAY. Exit status 0 when done, 1 when the
// compositor lacks the protocol or refused.
#include <linux/input-event-codes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <wayland-client.h>

#include "fake-input-client-protocol.h"
#include "xdg-activation-v1-client-protocol.h"

struct Globals {
    struct xdg_activation_v1* activation;
    struct org_kde_kwin_fake_input* fakeInput;
};

static void OnGlobal(void* data, struct wl_registry* registry, uint32_t name,
                     const char* interface, uint32_t version) {
    struct Globals* globals = data;
    if (strcmp(interface, xdg_activation_v1_interface.name) == 0)
        globals->activation = wl_registry_bind(registry, name, &xdg_activation_v1_interface, 1);
    else if (strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 && version >= 4)
        globals->fakeInput =
            wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, 4);
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

static int PrintToken(struct wl_display* display, struct Globals* globals) {
    if (!globals->activation) {
        fputs("wl-test-client: no xdg_activation_v1\n", stderr);
        return 1;
    }
    char* text = NULL;
    struct xdg_activation_token_v1* token =
        xdg_activation_v1_get_activation_token(globals->activation);
    xdg_activation_token_v1_add_listener(token, &kTokenListener, &text);
    xdg_activation_token_v1_commit(token);
    while (!text && wl_display_dispatch(display) != -1) {
    }
    if (!text)
        return 1;
    printf("%s\n", text);
    free(text);
    xdg_activation_token_v1_destroy(token);
    return 0;
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
    struct Globals globals = {NULL, NULL};
    struct wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kRegistryListener, &globals);
    wl_display_roundtrip(display);
    const int status = strcmp(argv[1], "token") == 0 ? PrintToken(display, &globals)
                                                     : Type(display, &globals, argv[2]);
    wl_display_disconnect(display);
    return status;
}
