// SPDX-License-Identifier: GPL-2.0
/*
 * nuvexa-e2e-probe CASE_FILE...: runs the case files' rows (their format is at
 * the top of each) in the test guest as root, printing "ok N - rule" or "not
 * ok N - rule" with "#" lines of what was seen, then "e2e result: P passed, F
 * failed". A uhid write runs the whole report path (the driver's hooks,
 * hidraw, hid-input, evdev, the kernel log) before it returns, so the nodes
 * are read without waiting.
 */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <glob.h>
#include <linux/input.h>
#include <linux/uhid.h>
#include <poll.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdbool.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#define ALL (1 << 30)
#define MAX_NODES 8
#define TEXT_SIZE 8192

static struct device {
	char label[32], sysfs_name[128], driver[64];
	int uhid, hidraw, evdev[MAX_NODES], evdev_count;
} devices[8];
static int device_count, kernel_log, passed, failed;
static char detail[TEXT_SIZE];

static double now(void)
{
	struct timespec ts;
	clock_gettime(CLOCK_MONOTONIC, &ts);
	return ts.tv_sec + ts.tv_nsec / 1e9;
}

static size_t parse_hex(const char *text, unsigned char *out, size_t capacity)
{
	size_t count = 0;
	unsigned int byte;
	for (int used; count < capacity && sscanf(text, " %2x%n", &byte, &used) == 1; text += used)
		out[count++] = (unsigned char)byte;
	return count;
}

static int count_of(const char *text, const char *needle)
{
	int count = 0;
	for (const char *at = text; (at = strstr(at, needle)); at += strlen(needle))
		count++;
	return count;
}

/* "N * TEXT" is N times TEXT, "TEXT" once. */
static int times_of(char **text)
{
	int times = 1, used = 0;
	sscanf(*text, "%d * %n", &times, &used);
	*text += used;
	return used ? times : 1;
}

static bool fail(const char *format, ...)
{
	va_list args;
	va_start(args, format);
	vsnprintf(detail, sizeof(detail), format, args);
	va_end(args);
	return false;
}

/* The file at PATH after a line feed, so that "\nLINE\n" finds any whole line; false if it cannot be read. */
static bool read_text(const char *path, char *text)
{
	FILE *file = fopen(path, "r");
	text[0] = '\n';
	text[file ? 1 + fread(text + 1, 1, TEXT_SIZE - 2, file) : 1] = '\0';
	return file && fclose(file) == 0;
}

static struct device *device_named(const char *label)
{
	for (int i = 0; i < device_count; i++)
		if (strcmp(devices[i].label, label) == 0)
			return &devices[i];
	fprintf(stderr, "no device %s in the case files\n", label);
	exit(2);
}

/* HID core asks for reports while it binds a driver, and uhid waits 5 s for each answer: each is refused at once. */
static void *answer_requests(void *arg)
{
	struct device *device = arg;
	struct uhid_event event, reply = { 0 };
	while (read(device->uhid, &event, sizeof(event)) > 0) {
		if (event.type != UHID_GET_REPORT && event.type != UHID_SET_REPORT)
			continue;
		/* Both requests begin with the id, both replies with the id and the error. */
		reply.type = event.type == UHID_GET_REPORT ? UHID_GET_REPORT_REPLY : UHID_SET_REPORT_REPLY;
		reply.u.set_report_reply = (struct uhid_set_report_reply_req){ .id = event.u.get_report.id, .err = EIO };
		if (write(device->uhid, &reply, sizeof(reply)) < 0)
			break;
	}
	return NULL;
}

static bool send_report(const struct device *device, const unsigned char *bytes, size_t size)
{
	struct uhid_event event = { .type = UHID_INPUT2, .u.input2.size = size };
	memcpy(event.u.input2.data, bytes, size);
	return write(device->uhid, &event, sizeof(event)) == sizeof(event);
}

/*
 * Opens /dev/PREFIXNAME, adding to FDS and COUNT, for each class device NAME
 * that PATTERN matches whose sysfs file FILE has the line LINE; the real
 * path of the last one's parent device is left in PARENT.
 */
static void open_nodes(const char *pattern, const char *file, const char *line, const char *prefix, int *fds,
		       int *count, char *parent)
{
	char path[256], text[TEXT_SIZE];
	glob_t found;
	if (glob(pattern, 0, NULL, &found) != 0)
		return;
	for (size_t i = 0; i < found.gl_pathc && *count < MAX_NODES; i++) {
		snprintf(path, sizeof(path), "%s/%s", found.gl_pathv[i], file);
		if (!read_text(path, text) || !strstr(text, line))
			continue;
		snprintf(path, sizeof(path), "/dev/%s%s", prefix, basename(found.gl_pathv[i]));
		if ((fds[*count] = open(path, O_RDONLY | O_NONBLOCK)) >= 0 && ++*count) {
			snprintf(path, sizeof(path), "%s/device", found.gl_pathv[i]);
			realpath(path, parent);
		}
	}
	globfree(&found);
}

static void close_nodes(struct device *device)
{
	if (device->hidraw >= 0)
		close(device->hidraw);
	device->hidraw = -1;
	while (device->evdev_count > 0)
		close(device->evdev[--device->evdev_count]);
}

/* Waits until the device is bound to DRIVER (to any driver for NULL) and opens its hidraw and evdev nodes. */
static bool wait_bound(struct device *device, const char *driver, double timeout)
{
	char uniq[64], parent[4096], link[128];
	double deadline = now() + timeout;
	ssize_t length;
	for (int hidraw = 0; now() < deadline; usleep(20000), hidraw = 0) {
		close_nodes(device);
		parent[0] = '\0';
		snprintf(uniq, sizeof(uniq), "\nHID_UNIQ=nuvexa-e2e-%s\n", device->label);
		open_nodes("/sys/class/hidraw/hidraw*", "device/uevent", uniq, "", &device->hidraw, &hidraw, parent);
		/* The HID device's sysfs name, that its lines in the kernel log carry, and its driver's. */
		snprintf(device->sysfs_name, sizeof(device->sysfs_name), "%s", basename(parent));
		length = readlink(strcat(parent, "/driver"), link, sizeof(link) - 1);
		link[length > 0 ? length : 0] = '\0';
		snprintf(device->driver, sizeof(device->driver), "%s", basename(link));
		snprintf(uniq, sizeof(uniq), "\nnuvexa-e2e-%s\n", device->label);
		open_nodes("/sys/class/input/event*", "device/uniq", uniq, "input/", device->evdev, &device->evdev_count, parent);
		if (device->driver[0] && (!driver || strcmp(device->driver, driver) == 0) && device->evdev_count)
			return true;
	}
	close_nodes(device);
	return false;
}

/*
 * Adds the events on FDS to OUT ("key CODE VALUE", "rel CODE VALUE", ", "
 * between; SYN and MSC left out) until it lists WANTED or none came for
 * QUIET seconds; returns how many events came in all.
 */
static int read_input(const int *fds, int count, char *out, int wanted, double quiet)
{
	struct pollfd polls[MAX_NODES];
	struct input_event event;
	int came = 0, listed = out[0] ? count_of(out, ",") + 1 : 0, length;
	for (int i = 0; i < count; i++)
		polls[i] = (struct pollfd){ .fd = fds[i], .events = POLLIN };
	while (listed < wanted && poll(polls, count, (int)(quiet * 1000)) > 0)
		for (int i = 0; i < count; i++)
			while (read(fds[i], &event, sizeof(event)) == sizeof(event) && ++came)
				if (event.type != EV_SYN && event.type != EV_MSC && (length = strlen(out)) < TEXT_SIZE - 64 && ++listed)
					sprintf(out + length, "%s%s %d %d", length ? ", " : "",
						event.type == EV_KEY ? "key" : event.type == EV_REL ? "rel" : "other",
						event.code, event.value);
	return came;
}

/* The kernel log's records since the last call, their text one a line (EPIPE: some were overwritten unread). */
static char *read_new_log(void)
{
	static char log[1 << 20];
	char record[2048], *text;
	ssize_t got;
	log[0] = '\0';
	while ((got = read(kernel_log, record, sizeof(record) - 1)) > 0 || (got < 0 && errno == EPIPE)) {
		record[got > 0 ? got : 0] = '\0';
		if ((text = strchr(record, ';')) && strlen(log) < sizeof(log) - sizeof(record))
			sprintf(log + strlen(log), "%.*s\n", (int)strcspn(text + 1, "\n"), text + 1);
	}
	return log;
}

static bool attach(char **field)
{
	struct uhid_event event = { .type = UHID_CREATE2 };
	struct uhid_create2_req *create = &event.u.create2;
	struct device *device = &devices[device_count];
	char bus[8], descriptor[256], text[TEXT_SIZE], *line, *rest;
	pthread_t answerer;
	if (device_count == sizeof(devices) / sizeof(devices[0]))
		return fail("more devices than the probe holds");
	if (sscanf(field[0], "%31s %7s %u %255s", device->label, bus, &create->product, descriptor) != 4 ||
	    !read_text(descriptor, text))
		return fail("cannot read the row or its descriptor");
	device_count++;
	/* A descriptor fixture: '#' lines are comments, the rest hex bytes. */
	for (rest = text; (line = strtok_r(rest, "\n", &rest));)
		if (line[0] != '#')
			create->rd_size += parse_hex(line, create->rd_data + create->rd_size,
						     sizeof(create->rd_data) - create->rd_size);
	snprintf((char *)create->name, sizeof(create->name), "Nuvexa e2e %s", device->label);
	snprintf((char *)create->uniq, sizeof(create->uniq), "nuvexa-e2e-%s", device->label);
	create->bus = strcmp(bus, "bt") == 0 ? 0x05 : 0x03;
	create->vendor = getenv("NUVEXA_VENDOR_ID") ? strtoul(getenv("NUVEXA_VENDOR_ID"), NULL, 0) : 0xFEED;
	device->hidraw = -1;
	device->uhid = open("/dev/uhid", O_RDWR | O_CLOEXEC);
	return (device->uhid >= 0 && write(device->uhid, &event, sizeof(event)) == sizeof(event) &&
		pthread_create(&answerer, NULL, answer_requests, device) == 0) || fail("uhid: %s", strerror(errno));
}

/* The device leaves; its request thread stays blocked on the dead descriptor. */
static bool detach(char **field)
{
	struct device *device = device_named(field[0]);
	struct uhid_event event = { .type = UHID_DESTROY };
	close_nodes(device);
	return write(device->uhid, &event, sizeof(event)) == sizeof(event) || fail("UHID_DESTROY: %s", strerror(errno));
}

static bool command(char **field)
{
	double deadline = now() + 10;
	char text[TEXT_SIZE] = "";
	int status;
	if (!field[1]) {
		fflush(stdout);
		status = system(field[0]);
		return status == 0 || fail("%s: wait status %d", field[0], status);
	}
	for (FILE *pipe; strcmp(text, field[0]) != 0 && now() < deadline && (pipe = popen(field[1], "r")); usleep(100000)) {
		text[fread(text, 1, sizeof(text) - 1, pipe)] = '\0';
		text[strcspn(text, "\n")] = '\0';
		pclose(pipe);
	}
	return strcmp(text, field[0]) == 0 || fail("it printed \"%s\"", text);
}

static bool driver(char **field)
{
	char *driver = strtok(field[0], " "), *label;
	struct device *listed[8];
	struct pollfd old[8];
	int count = 0, hung_up = 0;
	/* The nodes open before the command stay open through it so that their hang-up shows. */
	for (; (label = strtok(NULL, " ")) && count < 8; count++) {
		listed[count] = device_named(label);
		old[count] = (struct pollfd){ .fd = listed[count]->hidraw, .events = POLLIN };
		listed[count]->hidraw = -1;
	}
	if (field[1] && (!command(&field[1]) || poll(old, count, 1000) < 0))
		return false;
	for (int i = 0; i < count; i++) {
		hung_up += (old[i].revents & POLLHUP) != 0;
		close(old[i].fd);
		if (!wait_bound(listed[i], driver, 10))
			return fail("%s is bound to \"%s\"", listed[i]->label, listed[i]->driver);
	}
	return !field[1] || hung_up == count || fail("%d of the %d hidraw nodes hung up", hung_up, count);
}

static bool report(char **field)
{
	struct device *device = device_named(field[0]);
	unsigned char bytes[64], echo[256];
	char events[TEXT_SIZE] = "", line[512], *item, *rest = field[1], *log;
	int reports = 0, echoed = 0, lines = 0, came;
	bool ok;
	/* What the nodes and the kernel log held before the row is dropped: the row sees only what it caused. */
	read_input(device->evdev, device->evdev_count, events, ALL, 0);
	while (read(device->hidraw, echo, sizeof(echo)) > 0)
		;
	read_new_log();
	events[0] = '\0';
	/* Each report is read back at once: hidraw queues 64 reports a reader. */
	while ((item = strtok_r(rest, ",", &rest)))
		for (int times = times_of(&item), size = parse_hex(item, bytes, sizeof(bytes)); times-- > 0; reports++)
			echoed += send_report(device, bytes, size) && read(device->hidraw, echo, sizeof(echo)) == size &&
				  memcmp(echo, bytes, size) == 0;
	came = read_input(device->evdev, device->evdev_count, events, ALL, 0);
	log = read_new_log();
	ok = echoed == reports && (strcmp(field[2], "-") == 0 ? came == 0 : strcmp(events, field[2]) == 0);
	for (int i = 3, times; field[i]; i++, lines += times) {
		times = times_of(&field[i]);
		/* The whole record: the device's name, then the line word for word. */
		snprintf(line, sizeof(line), "nuvexa %s: %s\n", device->sysfs_name, field[i]);
		ok = ok && count_of(log, line) == times;
	}
	ok = ok && count_of(log, "com_nuvexa_EventDriver") == lines;
	return ok || fail("hidraw got %d of the %d reports whole\nevdev got %d events: %s\nthe kernel log has\n%.2000s",
			  echoed, reports, came, events, log);
}

static int compare_times(const void *a, const void *b)
{
	return (*(const double *)a > *(const double *)b) - (*(const double *)a < *(const double *)b);
}

static bool press(char **field)
{
	struct device *device = device_named(field[0]);
	int presses = times_of(&field[1]), fds[MAX_NODES], count = 0, played = 0;
	unsigned char bytes[64], release[64] = { 0 };
	size_t size = parse_hex(field[1], bytes, sizeof(bytes));
	char line[256], parent[4096], seen[TEXT_SIZE] = "", *value = strchr(field[3], '=');
	double times[presses], started;
	if (value)
		*value++ = '\0';
	snprintf(line, sizeof(line), "\n%s\n", value ? value : "");
	open_nodes("/sys/class/input/event*", field[3], line, "input/", fds, &count, parent);
	release[0] = bytes[0];
	for (int i = 0; i < presses && count; i++, played += strcmp(seen, field[2]) == 0) {
		read_input(fds, count, seen, ALL, 0);
		seen[0] = '\0';
		started = now();
		send_report(device, bytes, size);
		read_input(fds, count, seen, 1, 5);
		times[played] = now() - started;
		send_report(device, release, size);
		read_input(fds, count, seen, count_of(field[2], ",") + 1, 5);
		read_input(fds, count, seen, ALL, presses == 1 ? 0.3 : 0);
	}
	qsort(times, played, sizeof(double), compare_times);
	if (played >= 100)
		printf("# latency, uhid write to the first event where %s is %s: median %.3f ms, p99 %.3f ms over %d presses\n",
		       field[3], strtok(line, "\n"), times[played / 2] * 1e3, times[played * 99 / 100 - 1] * 1e3, played);
	while (count > 0)
		close(fds[--count]);
	return played == presses || fail("%d of %d presses played; the last got: %s", played, presses, seen);
}

static const struct kind {
	const char *name;
	bool (*run)(char **field);
	int fields;	/* the last takes the rest of the row */
	bool check;	/* a step prints a line only when it fails */
} kinds[] = {
	{ "attach", attach, 1, false }, { "detach", detach, 1, false }, { "shell", command, 1, false },
	{ "output", command, 2, true }, { "driver", driver, 2, true }, { "report", report, 7, true },
	{ "press", press, 4, true },
};

static void run_row(const char *rule, char *row)
{
	char *field[8] = { NULL }, *rest = row + strcspn(row, " ");
	const struct kind *kind = NULL;
	bool ok;
	*rest++ = '\0';
	for (size_t i = 0; i < sizeof(kinds) / sizeof(kinds[0]); i++)
		kind = strcmp(kinds[i].name, row) == 0 ? &kinds[i] : kind;
	for (int i = 0; kind && i < kind->fields && rest; i++) {
		field[i] = rest;
		if ((rest = i + 1 < kind->fields ? strstr(rest, " | ") : NULL)) {
			*rest = '\0';
			rest += 3;
		}
	}
	detail[0] = '\0';
	ok = kind ? kind->run(field) : fail("no row kind %s", row);
	if (ok && !kind->check)
		return;
	printf("%s %d - %s\n", ok ? "ok" : "not ok", passed + failed + 1, rule);
	for (char *line = strtok(detail, "\n"); line; line = strtok(NULL, "\n"))
		printf("#   %s\n", line);
	fflush(stdout);
	*(ok ? &passed : &failed) += 1;
}

int main(int argc, char **argv)
{
	char line[1024], rule[1024] = "";
	kernel_log = open("/dev/kmsg", O_RDONLY | O_NONBLOCK);
	if (lseek(kernel_log, 0, SEEK_END) < 0) {
		perror("/dev/kmsg");
		return 2;
	}
	for (FILE *file; argc-- > 1 && (file = fopen(*++argv, "r")); fclose(file))
		while (fgets(line, sizeof(line), file)) {
			line[strcspn(line, "\n")] = '\0';
			if (line[0] == '#')
				snprintf(rule, sizeof(rule), "%s", line + strspn(line, "# "));
			else if (line[0])
				run_row(rule, line);
		}
	if (argc > 0) {
		perror(*argv);
		return 2;
	}
	printf("e2e result: %d passed, %d failed\n", passed, failed);
	return failed ? 1 : 0;
}
