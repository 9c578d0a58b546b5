/*
 * Finds the visible windows of the X display by owner process or by name and
 * prints their ids (decimal, as xdotool takes them), one a line.
 *
 *   xwinfind [-w SECONDS] -p PID | -P | -n NAME
 *     -p PID     windows whose _NET_WM_PID is PID
 *     -P         windows that carry any _NET_WM_PID
 *     -n NAME    windows whose _NET_WM_NAME or WM_NAME is exactly NAME
 *     -w SECONDS look again every 50 ms until a window is found or the
 *                time has passed
 *
 * Exits 0 when a window was found, 1 when none was, 2 on a usage or display
 * error. Wine makes and drops windows of its own at any time; a window that
 * goes away while the tree is walked is skipped instead of ending the search
 * with an X error, which is what xdotool's search does.
 */
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

enum { BY_PID, BY_ANY_PID, BY_NAME };

static Display *dpy;
static Atom net_wm_pid, net_wm_name, utf8_string;
static int by = -1;
static unsigned long want_pid;
static const char *want_name;
static int found;

static int
xerror(Display *d, XErrorEvent *e)
{
	char text[128];

	/* The window went away between listing it and asking about it. */
	if (e->error_code == BadWindow || e->error_code == BadDrawable)
		return 0;
	XGetErrorText(d, e->error_code, text, sizeof text);
	fprintf(stderr, "xwinfind: X error: %s (request %d)\n", text, e->request_code);
	exit(2);
}

static int
owner(Window w, unsigned long *pid)
{
	Atom type;
	int format, ok;
	unsigned long n, after;
	unsigned char *data = NULL;

	if (XGetWindowProperty(dpy, w, net_wm_pid, 0, 1, False, XA_CARDINAL, &type, &format,
	                       &n, &after, &data) != Success)
		return 0;
	ok = type == XA_CARDINAL && format == 32 && n == 1;
	if (ok)
		*pid = *(unsigned long *)data;
	if (data)
		XFree(data);
	return ok;
}

static int
named(Window w)
{
	Atom type;
	int format, same = 0;
	unsigned long n, after;
	unsigned char *data = NULL;
	char *name = NULL;

	if (XGetWindowProperty(dpy, w, net_wm_name, 0, 1024, False, utf8_string, &type, &format,
	                       &n, &after, &data) == Success && type == utf8_string && format == 8) {
		same = n == strlen(want_name) && memcmp(data, want_name, n) == 0;
		XFree(data);
		return same;
	}
	if (data)
		XFree(data);
	if (XFetchName(dpy, w, &name) && name) {
		same = strcmp(name, want_name) == 0;
		XFree(name);
	}
	return same;
}

static int
matches(Window w)
{
	XWindowAttributes a;
	unsigned long pid;

	if (!XGetWindowAttributes(dpy, w, &a) || a.map_state != IsViewable)
		return 0;
	switch (by) {
	case BY_PID:
		return owner(w, &pid) && pid == want_pid;
	case BY_ANY_PID:
		return owner(w, &pid);
	default:
		return named(w);
	}
}

static void
walk(Window w)
{
	Window root, parent, *kids = NULL;
	unsigned int i, n;

	if (!XQueryTree(dpy, w, &root, &parent, &kids, &n))
		return;
	for (i = 0; i < n; i++) {
		if (matches(kids[i])) {
			printf("%lu\n", kids[i]);
			found++;
		}
		walk(kids[i]);
	}
	if (kids)
		XFree(kids);
}

static double
now(void)
{
	struct timespec t;

	clock_gettime(CLOCK_MONOTONIC, &t);
	return t.tv_sec + t.tv_nsec / 1e9;
}

static void
usage(void)
{
	fputs("usage: xwinfind [-w SECONDS] -p PID | -P | -n NAME\n", stderr);
	exit(2);
}

int
main(int argc, char *argv[])
{
	const struct timespec pause = { 0, 50000000 };
	double wait = 0, deadline;
	char *end;
	int c;

	while ((c = getopt(argc, argv, "w:p:Pn:")) != -1) {
		switch (c) {
		case 'w':
			wait = strtod(optarg, &end);
			if (*end || wait < 0)
				usage();
			break;
		case 'p':
			by = BY_PID;
			want_pid = strtoul(optarg, &end, 10);
			if (*end || !*optarg)
				usage();
			break;
		case 'P':
			by = BY_ANY_PID;
			break;
		case 'n':
			by = BY_NAME;
			want_name = optarg;
			break;
		default:
			usage();
		}
	}
	if (by < 0 || optind != argc)
		usage();
	if (!(dpy = XOpenDisplay(NULL))) {
		fputs("xwinfind: cannot open the display\n", stderr);
		return 2;
	}
	XSetErrorHandler(xerror);
	net_wm_pid = XInternAtom(dpy, "_NET_WM_PID", False);
	net_wm_name = XInternAtom(dpy, "_NET_WM_NAME", False);
	utf8_string = XInternAtom(dpy, "UTF8_STRING", False);

	deadline = now() + wait;
	for (;;) {
		walk(DefaultRootWindow(dpy));
		if (found || now() >= deadline)
			break;
		nanosleep(&pause, NULL);
	}
	XCloseDisplay(dpy);
	return found ? 0 : 1;
}
