/* cfgprobe.exe: reads the configuration window (or any top-level window) of
 * a running program from inside the Wine prefix, for the configuration
 * window tests.
 *
 *   cfgprobe state [-c CLASS] [-t TITLE]
 *       One "kind=window" record for the window (default class
 *       DiscoraNotifyForm), then one "kind=control" record per child window
 *       with its position relative to the window's client area, then one
 *       "kind=focus" record: the focused window of the window's thread (and
 *       the selection of an edit control that has the focus), the thread's
 *       active window and the foreground window.
 *   cfgprobe windows
 *       One record per top-level window, with the X window that Wine made
 *       for it, so the test can aim real input at it with xdotool.
 *   cfgprobe hittest [-c CLASS] [-t TITLE] X,Y...
 *       What the window says lies at each screen point (WM_NCHITTEST):
 *       one "kind=hit" record per point.
 *   cfgprobe caption [-c CLASS] [-t TITLE]
 *       What the window's caption holds, asked point by point across it
 *       (WM_NCHITTEST): every hit-test code found there, and the screen
 *       rectangle of the close box (HTCLOSE), when there is one.
 *   cfgprobe settings
 *       Every value stored under HKCU\Software\Discora\Settings, read
 *       exactly as stored: one "kind=value" record each, with its type and
 *       its data between brackets, so blanks at either end stay visible.
 *
 * Records are tab-separated key=value fields, one a line. Exit code 0 on
 * success, 1 when the window (or the settings key) is not there, 2 on a usage
 * error. */
#include <windows.h>
#include <stdio.h>
#include <string.h>

static void clean(char *text) {
    for (; *text; ++text)
        if (*text == '\t' || *text == '\r' || *text == '\n') *text = ' ';
}

/* The text of a window of another process: WM_GETTEXT reaches an edit
 * control's contents, which GetWindowText does not. */
static void window_text(HWND hwnd, char *text, int size) {
    text[0] = 0;
    if (!SendMessageTimeoutA(hwnd, WM_GETTEXT, size, (LPARAM)text, SMTO_ABORTIFHUNG, 2000, NULL))
        GetWindowTextA(hwnd, text, size);
    text[size - 1] = 0;
    clean(text);
}

/* Wine keeps the X window of a top-level window in this window property. */
static unsigned long x_window(HWND hwnd) {
    return (unsigned long)(ULONG_PTR)GetPropA(hwnd, "__wine_x11_whole_window");
}

static void print_common(HWND hwnd) {
    char cls[256] = {0}, text[1024];
    GetClassNameA(hwnd, cls, sizeof cls);
    clean(cls);
    window_text(hwnd, text, sizeof text);
    DWORD pid = 0;
    DWORD tid = GetWindowThreadProcessId(hwnd, &pid);
    printf("hwnd=0x%lx\tclass=%s\ttext=%s\tpid=%lu\ttid=%lu\tid=%ld\tstyle=0x%08lx"
           "\texstyle=0x%08lx\tvisible=%d\tenabled=%d",
           (unsigned long)(ULONG_PTR)hwnd, cls, text, (unsigned long)pid, (unsigned long)tid,
           (long)GetWindowLongPtrA(hwnd, GWLP_ID), (unsigned long)GetWindowLongA(hwnd, GWL_STYLE),
           (unsigned long)GetWindowLongA(hwnd, GWL_EXSTYLE), IsWindowVisible(hwnd) ? 1 : 0,
           IsWindowEnabled(hwnd) ? 1 : 0);
}

static void print_top(HWND hwnd) {
    RECT r = {0}, c = {0};
    GetWindowRect(hwnd, &r);
    GetClientRect(hwnd, &c);
    POINT origin = {0, 0};
    ClientToScreen(hwnd, &origin);
    printf("kind=window\t");
    print_common(hwnd);
    RECT work = {0};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    COLORREF face = GetSysColor(COLOR_BTNFACE);
    printf("\trect=%ld,%ld,%ld,%ld\tclient=%ld,%ld\torigin=%ld,%ld\txid=%lu\tscreen=%d,%d"
           "\twork=%ld,%ld,%ld,%ld\tbtnface=%d,%d,%d\n",
           r.left, r.top, r.right, r.bottom, c.right - c.left, c.bottom - c.top, origin.x,
           origin.y, x_window(hwnd), GetSystemMetrics(SM_CXSCREEN),
           GetSystemMetrics(SM_CYSCREEN), work.left, work.top, work.right, work.bottom,
           GetRValue(face), GetGValue(face), GetBValue(face));
}

typedef struct {
    HWND parent;
} Walk;

static BOOL CALLBACK print_control(HWND hwnd, LPARAM lp) {
    const Walk *walk = (const Walk *)lp;
    RECT r = {0};
    GetWindowRect(hwnd, &r);
    /* Relative to the client area of the top-level window. */
    MapWindowPoints(HWND_DESKTOP, walk->parent, (POINT *)&r, 2);
    printf("kind=control\t");
    print_common(hwnd);
    printf("\tparent=0x%lx\tleft=%ld\ttop=%ld\twidth=%ld\theight=%ld\n",
           (unsigned long)(ULONG_PTR)GetParent(hwnd), r.left, r.top, r.right - r.left,
           r.bottom - r.top);
    return TRUE;
}

static void print_focus(HWND top) {
    GUITHREADINFO info;
    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    DWORD tid = GetWindowThreadProcessId(top, NULL);
    BOOL ok = GetGUIThreadInfo(tid, &info);
    HWND focus = ok ? info.hwndFocus : NULL;
    char cls[64] = {0};
    if (focus) GetClassNameA(focus, cls, sizeof cls);
    DWORD start = 0, end = 0;
    BOOL edit = focus && lstrcmpiA(cls, "Edit") == 0;
    if (edit) {
        DWORD_PTR sel = 0;
        if (SendMessageTimeoutA(focus, EM_GETSEL, (WPARAM)&start, (LPARAM)&end, SMTO_ABORTIFHUNG,
                                2000, &sel) == 0) {
            start = end = (DWORD)-1;
        }
    }
    printf("kind=focus\tfocus=0x%lx\tfocus_id=%ld\tfocus_class=%s\tactive=0x%lx\tforeground=0x%lx"
           "\tsel_start=%ld\tsel_end=%ld\n",
           (unsigned long)(ULONG_PTR)focus, focus ? (long)GetWindowLongPtrA(focus, GWLP_ID) : 0L,
           cls, (unsigned long)(ULONG_PTR)(ok ? info.hwndActive : NULL),
           (unsigned long)(ULONG_PTR)GetForegroundWindow(), edit ? (long)start : -1L,
           edit ? (long)end : -1L);
}

static LRESULT hit(HWND hwnd, LONG x, LONG y) {
    DWORD_PTR code = (DWORD_PTR)-1;
    if (!SendMessageTimeoutA(hwnd, WM_NCHITTEST, 0, MAKELPARAM((SHORT)x, (SHORT)y),
                             SMTO_ABORTIFHUNG, 2000, &code))
        return -1;
    return (LRESULT)code;
}

static int cmd_hittest(HWND hwnd, int count, char **points) {
    for (int i = 0; i < count; ++i) {
        long x = 0, y = 0;
        if (sscanf(points[i], "%ld,%ld", &x, &y) != 2) return 2;
        printf("kind=hit\tx=%ld\ty=%ld\tcode=%ld\n", x, y, (long)hit(hwnd, x, y));
    }
    return 0;
}

static int cmd_caption(HWND hwnd) {
    RECT r;
    if (!GetWindowRect(hwnd, &r)) return 1;
    POINT origin = {0, 0};
    ClientToScreen(hwnd, &origin);
    /* Every second pixel of the strip above the client area: enough to
     * find each button of the caption, and quick. */
    BOOL seen[64] = {FALSE};
    LONG left = r.right, top = r.bottom, right = r.left - 1, bottom = r.top - 1;
    for (LONG y = r.top; y < origin.y; y += 2) {
        for (LONG x = r.left; x < r.right; x += 2) {
            LRESULT code = hit(hwnd, x, y);
            if (code >= 0 && code < 64) seen[code] = TRUE;
            if (code != HTCLOSE) continue;
            if (x < left) left = x;
            if (x > right) right = x;
            if (y < top) top = y;
            if (y > bottom) bottom = y;
        }
    }
    printf("kind=caption\tcodes=");
    const char *sep = "";
    for (int code = 0; code < 64; ++code) {
        if (!seen[code]) continue;
        printf("%s%d", sep, code);
        sep = ",";
    }
    if (right >= left)
        printf("\tclose=%ld,%ld,%ld,%ld", left, top, right, bottom);
    printf("\n");
    return 0;
}

static int cmd_settings(void) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Discora\\Settings", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return 1;
    for (DWORD i = 0;; ++i) {
        char name[256];
        BYTE data[4096];
        DWORD name_len = sizeof name, data_len = sizeof data - 1, type = 0;
        if (RegEnumValueA(key, i, name, &name_len, NULL, &type, data, &data_len) != ERROR_SUCCESS)
            break;
        data[data_len] = 0;
        /* A REG_SZ value's length counts its terminating NUL. */
        if ((type == REG_SZ || type == REG_EXPAND_SZ) && data_len && data[data_len - 1] == 0)
            --data_len;
        clean(name);
        clean((char *)data);
        printf("kind=value\tname=%s\ttype=%lu\tlength=%lu\tdata=[%s]\n", name,
               (unsigned long)type, (unsigned long)data_len, (char *)data);
    }
    RegCloseKey(key);
    return 0;
}

static BOOL CALLBACK print_each_top(HWND hwnd, LPARAM lp) {
    (void)lp;
    print_top(hwnd);
    return TRUE;
}

int main(int argc, char **argv) {
    if (argc < 2) {
        fputs("usage: cfgprobe state|hittest|caption [-c CLASS] [-t TITLE] [X,Y...]\n"
              "       cfgprobe windows|settings\n",
              stderr);
        return 2;
    }
    setvbuf(stdout, NULL, _IOFBF, 1 << 16);
    const char *cls = NULL, *title = NULL;
    for (int i = 2; i < argc; ++i) {
        if (!strcmp(argv[i], "-c") && i + 1 < argc) cls = argv[++i];
        else if (!strcmp(argv[i], "-t") && i + 1 < argc) title = argv[++i];
    }
    char *points[256];
    int npoints = 0;
    for (int i = 2; i < argc; ++i) {
        if ((!strcmp(argv[i], "-c") || !strcmp(argv[i], "-t")) && i + 1 < argc) ++i;
        else if (npoints < 256) points[npoints++] = argv[i];
    }
    int rc = 0;
    if (!cls && !title) cls = "DiscoraNotifyForm";
    if (!strcmp(argv[1], "hittest") || !strcmp(argv[1], "caption")) {
        HWND top = FindWindowA(cls, title);
        if (!top) rc = 1;
        else if (argv[1][0] == 'h') rc = cmd_hittest(top, npoints, points);
        else rc = cmd_caption(top);
    } else if (!strcmp(argv[1], "state")) {
        HWND top = FindWindowA(cls, title);
        if (!top) {
            rc = 1;
        } else {
            print_top(top);
            Walk walk = {top};
            EnumChildWindows(top, print_control, (LPARAM)&walk);
            print_focus(top);
        }
    } else if (!strcmp(argv[1], "settings")) {
        rc = cmd_settings();
    } else if (!strcmp(argv[1], "windows")) {
        EnumWindows(print_each_top, 0);
    } else {
        fputs("cfgprobe: unknown command\n", stderr);
        rc = 2;
    }
    fflush(stdout);
    return rc;
}
