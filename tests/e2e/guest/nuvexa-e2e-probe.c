// SPDX-License-Identifier: GPL-2.0
/*
 * The end-to-end cases, run inside the test guest as root. First the kernel
 * filter: virtual devices with the maker's identifiers through /dev/uhid,
 * their reports read back from hidraw and evdev, the filter's lines from
 * /dev/kmsg, the filter loaded and unloaded with devices attached (the
 * guest's init loads only the kernel's own HID modules). Then the agent's
 * own path: systemd-udevd and the agent started here, presses read back
 * from the agent's virtual keyboard, the agent's devices from nuvexactl.
 *
 * A uhid write runs the whole report path (the driver's hooks, hidraw,
 * hid-input, evdev, the kernel log) before it returns, so the filter's cases
 * read what a report produced without waiting; the agent's cases wait for
 * the virtual keyboard.
 *
 *   nuvexa-e2e-probe FIXTURE_DIR
 *
 * FIXTURE_DIR holds the report descriptors. NUVEXA_VENDOR_ID (default
 * 0xFEED) is the vendor identifier the devices carry.
 *
 * Prints "ok N - rule", or "not ok N - rule" followed by "#" lines saying
 * what was seen, for each case; "#" lines for the measures; and ends with
 * "e2e result: P passed, F failed". Exits non-zero on any failure.
 */
#define _GNU_SOURCE
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/input.h>
#include <linux/uhid.h>
#include <poll.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdbool.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#define MAX_EVDEV 8
#define TEXT_SIZE 4096

static const char *fixture_dir;
/* The maker's vendor identifier, as the filter and the agent were built with. */
static unsigned short vendor = 0xFEED;
static int passed, failed;

static void result(bool ok, const char *rule, const char *fmt, ...)
{
	char detail[TEXT_SIZE] = "";
	va_list args;

	if (fmt) {
		va_start(args, fmt);
		vsnprintf(detail, sizeof(detail), fmt, args);
		va_end(args);
	}
	if (ok) {
		printf("ok %d - %s\n", passed + failed + 1, rule);
	} else {
		/* The details follow as "#" lines, which the host repeats. */
		printf("not ok %d - %s\n", passed + failed + 1, rule);
		for (char *line = strtok(detail, "\n"); line; line = strtok(NULL, "\n"))
			printf("#   %s\n", line);
	}
	fflush(stdout);
	if (ok)
		passed++;
	else
		failed++;
}

static double now_seconds(void)
{
	struct timespec ts;

	clock_gettime(CLOCK_MONOTONIC, &ts);
	return ts.tv_sec + ts.tv_nsec / 1e9;
}

static void sleep_seconds(double seconds)
{
	struct timespec ts = { (time_t)seconds, (long)((seconds - (time_t)seconds) * 1e9) };

	nanosleep(&ts, NULL);
}

/* "10 e2 00" into bytes; returns the count. */
static size_t parse_hex(const char *text, unsigned char *out, size_t capacity)
{
	size_t count = 0;
	unsigned int byte;
	int used;

	while (count < capacity && sscanf(text, " %2x%n", &byte, &used) == 1) {
		out[count++] = (unsigned char)byte;
		text += used;
	}
	return count;
}

/* A descriptor fixture: '#' lines are comments, the rest hex bytes. */
static size_t read_descriptor(const char *name, unsigned char *out, size_t capacity)
{
	char path[512], line[512];
	size_t count = 0;
	FILE *file;

	snprintf(path, sizeof(path), "%s/%s", fixture_dir, name);
	file = fopen(path, "r");
	if (!file) {
		fprintf(stderr, "cannot open %s: %s\n", path, strerror(errno));
		exit(2);
	}
	while (fgets(line, sizeof(line), file))
		if (line[0] != '#')
			count += parse_hex(line, out + count, capacity - count);
	fclose(file);
	return count;
}

/* ---- the kernel log ---- */

static int kmsg_fd = -1;

/* Appends the kernel log records written since the last call, one a line. */
static void read_new_log(char *out, size_t capacity)
{
	char record[2048];
	size_t used = 0;
	ssize_t got;

	out[0] = '\0';
	for (;;) {
		got = read(kmsg_fd, record, sizeof(record) - 1);
		if (got < 0 && errno == EPIPE)
			continue;	/* records overwritten before we read them */
		if (got <= 0)
			break;
		record[got] = '\0';
		char *text = strchr(record, ';');
		if (!text)
			continue;
		text++;
		char *end = strchr(text, '\n');
		if (end)
			*end = '\0';
		used += snprintf(out + used, used < capacity ? capacity - used : 0, "%s\n", text);
		if (used >= capacity)
			used = capacity - 1;
	}
}

static int count_lines_with(const char *log, const char *needle)
{
	int count = 0;

	for (const char *at = log; (at = strstr(at, needle)); at += strlen(needle))
		count++;
	return count;
}

/*
 * The filter rate-limits each of its log lines to 10 in 5 seconds; a case
 * that expects lines waits when they would not all be printed. Each kind
 * mirrors the kernel's interval, which starts at the first line after the
 * previous interval ended. Near an interval's end (the kernel counts in
 * jiffies) it is unclear which interval a line falls in, so a case waits
 * until the end is past.
 */
struct log_budget {
	double begin;
	int printed;
};

static struct log_budget rf_budget, bt_budget, dropped_budget;

static void spend_log_budget(struct log_budget *budget, int lines)
{
	double now = now_seconds();

	if (lines == 0)
		return;
	if (budget->printed > 0 && now < budget->begin + 5.5 &&
	    (budget->printed + lines > 10 || now > budget->begin + 4.9)) {
		sleep_seconds(budget->begin + 5.5 - now);
		now = now_seconds();
	}
	if (budget->printed == 0 || now >= budget->begin + 5.5) {
		budget->begin = now;
		budget->printed = 0;
	}
	budget->printed += lines;
}

/* ---- virtual devices ---- */

struct device {
	const char *label;
	unsigned short bus;
	unsigned short product;
	int uhid;
	pthread_t answerer;
	char sysfs_name[256];
	int hidraw;
	int evdev[MAX_EVDEV];
	int evdev_count;
};

/*
 * HID core asks the device for reports while it binds a driver; uhid waits
 * up to 5 seconds for each answer. The devices have no feature reports, so
 * every request is refused at once.
 */
static void *answer_requests(void *arg)
{
	struct device *device = arg;
	struct uhid_event event, reply;

	while (read(device->uhid, &event, sizeof(event)) > 0) {
		memset(&reply, 0, sizeof(reply));
		if (event.type == UHID_GET_REPORT) {
			reply.type = UHID_GET_REPORT_REPLY;
			reply.u.get_report_reply.id = event.u.get_report.id;
			reply.u.get_report_reply.err = EIO;
		} else if (event.type == UHID_SET_REPORT) {
			reply.type = UHID_SET_REPORT_REPLY;
			reply.u.set_report_reply.id = event.u.set_report.id;
			reply.u.set_report_reply.err = EIO;
		} else {
			continue;
		}
		if (write(device->uhid, &reply, sizeof(reply)) < 0)
			break;
	}
	return NULL;
}

/* The value of KEY= in the device's uevent file, "" when absent. */
static void read_uevent_value(const char *sysfs_name, const char *key, char *out, size_t capacity)
{
	char path[256], line[512];
	size_t key_length = strlen(key);
	FILE *file;

	out[0] = '\0';
	snprintf(path, sizeof(path), "/sys/bus/hid/devices/%s/uevent", sysfs_name);
	file = fopen(path, "r");
	if (!file)
		return;
	while (fgets(line, sizeof(line), file)) {
		if (strncmp(line, key, key_length) == 0 && line[key_length] == '=') {
			snprintf(out, capacity, "%s", line + key_length + 1);
			out[strcspn(out, "\n")] = '\0';
		}
	}
	fclose(file);
}

/* Finds the HID device whose unique identifier names this test device. */
static bool find_sysfs_name(struct device *device)
{
	char uniq[128], wanted[128];
	struct dirent *entry;
	DIR *dir;

	snprintf(wanted, sizeof(wanted), "nuvexa-e2e-%s", device->label);
	dir = opendir("/sys/bus/hid/devices");
	if (!dir)
		return false;
	while ((entry = readdir(dir))) {
		if (entry->d_name[0] == '.')
			continue;
		read_uevent_value(entry->d_name, "HID_UNIQ", uniq, sizeof(uniq));
		if (strcmp(uniq, wanted) == 0) {
			snprintf(device->sysfs_name, sizeof(device->sysfs_name), "%s", entry->d_name);
			closedir(dir);
			return true;
		}
	}
	closedir(dir);
	return false;
}

static void driver_of(struct device *device, char *out, size_t capacity)
{
	read_uevent_value(device->sysfs_name, "DRIVER", out, capacity);
}

static void close_nodes(struct device *device)
{
	if (device->hidraw >= 0)
		close(device->hidraw);
	device->hidraw = -1;
	for (int i = 0; i < device->evdev_count; i++)
		close(device->evdev[i]);
	device->evdev_count = 0;
}

/* Opens the device's hidraw node and every evdev node of its inputs. */
static bool open_nodes(struct device *device)
{
	char path[512], node[300];
	struct dirent *entry, *inner;
	DIR *dir, *input_dir;

	snprintf(path, sizeof(path), "/sys/bus/hid/devices/%s/hidraw", device->sysfs_name);
	dir = opendir(path);
	if (!dir)
		return false;
	while ((entry = readdir(dir)))
		if (strncmp(entry->d_name, "hidraw", 6) == 0) {
			snprintf(node, sizeof(node), "/dev/%s", entry->d_name);
			device->hidraw = open(node, O_RDONLY | O_NONBLOCK);
		}
	closedir(dir);

	snprintf(path, sizeof(path), "/sys/bus/hid/devices/%s/input", device->sysfs_name);
	dir = opendir(path);
	if (!dir)
		return device->hidraw >= 0;
	while ((entry = readdir(dir))) {
		if (strncmp(entry->d_name, "input", 5) != 0)
			continue;
		char input_path[800];
		snprintf(input_path, sizeof(input_path), "%s/%s", path, entry->d_name);
		input_dir = opendir(input_path);
		if (!input_dir)
			continue;
		while ((inner = readdir(input_dir)))
			if (strncmp(inner->d_name, "event", 5) == 0 && device->evdev_count < MAX_EVDEV) {
				snprintf(node, sizeof(node), "/dev/input/%s", inner->d_name);
				int fd = open(node, O_RDONLY | O_NONBLOCK);
				if (fd >= 0)
					device->evdev[device->evdev_count++] = fd;
			}
		closedir(input_dir);
	}
	closedir(dir);
	return device->hidraw >= 0 && device->evdev_count > 0;
}

/* Waits until the device is bound to this driver and opens its nodes. */
static bool wait_bound(struct device *device, const char *driver, double timeout)
{
	double deadline = now_seconds() + timeout;
	char bound[64];

	close_nodes(device);
	while (now_seconds() < deadline) {
		if (device->sysfs_name[0] || find_sysfs_name(device)) {
			driver_of(device, bound, sizeof(bound));
			if (strcmp(bound, driver) == 0 && open_nodes(device))
				return true;
			close_nodes(device);
		}
		sleep_seconds(0.02);
	}
	return false;
}

static bool create_device(struct device *device, const char *descriptor_file)
{
	struct uhid_event event;

	memset(&event, 0, sizeof(event));
	event.type = UHID_CREATE2;
	snprintf((char *)event.u.create2.name, sizeof(event.u.create2.name),
		 "Nuvexa e2e %s", device->label);
	snprintf((char *)event.u.create2.phys, sizeof(event.u.create2.phys), "nuvexa-e2e");
	snprintf((char *)event.u.create2.uniq, sizeof(event.u.create2.uniq),
		 "nuvexa-e2e-%s", device->label);
	event.u.create2.rd_size = read_descriptor(descriptor_file, event.u.create2.rd_data,
						  sizeof(event.u.create2.rd_data));
	event.u.create2.bus = device->bus;
	event.u.create2.vendor = vendor;
	event.u.create2.product = device->product;
	event.u.create2.version = 1;

	device->hidraw = -1;
	device->evdev_count = 0;
	device->sysfs_name[0] = '\0';
	device->uhid = open("/dev/uhid", O_RDWR | O_CLOEXEC);
	if (device->uhid < 0)
		return false;
	if (write(device->uhid, &event, sizeof(event)) != sizeof(event))
		return false;
	return pthread_create(&device->answerer, NULL, answer_requests, device) == 0;
}

/* The device leaves; its request thread stays blocked on the dead descriptor. */
static void destroy_device(struct device *device)
{
	struct uhid_event event;

	memset(&event, 0, sizeof(event));
	event.type = UHID_DESTROY;
	close_nodes(device);
	if (write(device->uhid, &event, sizeof(event)) != sizeof(event))
		perror("UHID_DESTROY");
	pthread_detach(device->answerer);
}

static bool send_report(struct device *device, const unsigned char *bytes, size_t size)
{
	struct uhid_event event;

	memset(&event, 0, sizeof(event));
	event.type = UHID_INPUT2;
	event.u.input2.size = size;
	memcpy(event.u.input2.data, bytes, size);
	return write(device->uhid, &event, sizeof(event)) == sizeof(event);
}

/* Everything queued on the device's evdev nodes, "type code value" a line, SYN included. */
static int read_evdev(struct device *device, char *out, size_t capacity, bool with_syn)
{
	struct input_event events[64];
	size_t used = 0;
	int count = 0;

	out[0] = '\0';
	for (int i = 0; i < device->evdev_count; i++) {
		ssize_t got;
		while ((got = read(device->evdev[i], events, sizeof(events))) > 0) {
			for (size_t e = 0; e < (size_t)got / sizeof(events[0]); e++) {
				count++;
				if (events[e].type == EV_MSC ||
				    (events[e].type == EV_SYN && !with_syn))
					continue;
				used += snprintf(out + used, used < capacity ? capacity - used : 0,
						 "%d %d %d\n", events[e].type, events[e].code,
						 events[e].value);
				if (used >= capacity)
					used = capacity - 1;
			}
		}
	}
	return count;
}

static void drain(struct device *device)
{
	char scratch[TEXT_SIZE];
	unsigned char report[256];

	read_evdev(device, scratch, sizeof(scratch), true);
	if (device->hidraw >= 0)
		while (read(device->hidraw, report, sizeof(report)) > 0)
			;
	read_new_log(scratch, sizeof(scratch));
}

/* ---- the report cases ---- */

enum { RF_MOUSE, BT_MOUSE, PRESENTER, OTHER_PRODUCT, BT_PRESENTER, SECOND_RF_MOUSE, DEVICE_COUNT };

static struct device devices[DEVICE_COUNT] = {
	[RF_MOUSE] = { .label = "rf-mouse", .bus = BUS_USB, .product = 1001 },
	[BT_MOUSE] = { .label = "bt-mouse", .bus = BUS_BLUETOOTH, .product = 1002 },
	[PRESENTER] = { .label = "presenter", .bus = BUS_USB, .product = 2001 },
	[OTHER_PRODUCT] = { .label = "other-product", .bus = BUS_USB, .product = 1003 },
	[BT_PRESENTER] = { .label = "bt-presenter", .bus = BUS_BLUETOOTH, .product = 2001 },
	[SECOND_RF_MOUSE] = { .label = "rf-mouse-2", .bus = BUS_USB, .product = 1001 },
};

#define RF_LINE "com_nuvexa_EventDriver::handleInterruptReport() => RF Mouse; Block IOHIDConsumer event."
#define BT_LINE "com_nuvexa_EventDriver::handleInterruptReport() => BT Mouse; Block IOHIDConsumer event."
#define DROPPED(page, usage, value) \
	"com_nuvexa_EventDriver::dispatchKeyboardEvent() => (usagePage = " #page \
	", usage = " #usage ", value = " #value ")."

/* evdev events as read_evdev prints them, without SYN and MSC. */
#define KEY(code, value) "1 " #code " " #value "\n"
#define REL(code, value) "2 " #code " " #value "\n"

struct report_case {
	const char *rule;
	int device;
	const char *report;
	const char *evdev;	/* "" when the report must produce no evdev event at all */
	const char *log[2];	/* the filter's lines it must write, each once */
};

/*
 * The RF and Bluetooth mice carry the project's composite descriptor:
 * report 2 (buttons 1-5 as bits, 12-bit X and Y, wheel), report 8 (a boot
 * keyboard) and report 16 (one consumer usage). The presenter carries a
 * receiver keyboard's descriptor: keyboard report 1, consumer report 3 with
 * two 16-bit usage slots. Key codes: KEY_ESC 1, KEY_B 48, KEY_UP 103,
 * KEY_DOWN 108, KEY_MUTE 113, KEY_VOLUMEDOWN 114, KEY_VOLUMEUP 115,
 * BTN_LEFT 272, BTN_RIGHT 273, BTN_MIDDLE 274.
 */
static const struct report_case report_cases[] = {
	{ "an RF consumer report of Mute is withheld whole and logged once", RF_MOUSE,
	  "10 e2 00", "", { RF_LINE } },
	{ "an RF consumer report's release is withheld as well", RF_MOUSE,
	  "10 00 00", "", { RF_LINE } },
	{ "an RF keyboard report of a B press is withheld whole", RF_MOUSE,
	  "08 00 00 05 00 00 00 00 00", "", { RF_LINE } },
	{ "a Bluetooth report 2 with second byte 8 (Button 4 alone) is withheld whole", BT_MOUSE,
	  "02 08 00 00 00 00", "", { BT_LINE } },
	{ "a Bluetooth report 2 with second byte 16 (Button 5 alone) is withheld whole", BT_MOUSE,
	  "02 10 00 00 00 00", "", { BT_LINE } },
	{ "releasing Button 5 after its withheld press is a dropped key event, logged once", BT_MOUSE,
	  "02 00 00 00 00 00", "", { DROPPED(9, 5, 0) } },
	{ "pointer motion passes", RF_MOUSE,
	  "02 00 05 00 00 00", REL(0, 5), { NULL } },
	{ "Buttons 1 to 3 pass", RF_MOUSE,
	  "02 07 00 00 00 00", KEY(272, 1) KEY(273, 1) KEY(274, 1), { NULL } },
	{ "release of Buttons 1 to 3 passes", RF_MOUSE,
	  "02 00 00 00 00 00", KEY(272, 0) KEY(273, 0) KEY(274, 0), { NULL } },
	{ "Button 4 is dropped and logged once while Button 1 beside it passes", RF_MOUSE,
	  "02 09 00 00 00 00", KEY(272, 1), { DROPPED(9, 4, 1) } },
	{ "release of Button 4 is dropped and logged once", RF_MOUSE,
	  "02 00 00 00 00 00", KEY(272, 0), { DROPPED(9, 4, 0) } },
	{ "Button 5 is dropped and logged once while Button 2 beside it passes", BT_MOUSE,
	  "02 12 00 00 00 00", KEY(273, 1), { DROPPED(9, 5, 1) } },
	{ "release of Button 5 is dropped and logged once", BT_MOUSE,
	  "02 00 00 00 00 00", KEY(273, 0), { DROPPED(9, 5, 0) } },
	{ "keyboard Escape press passes", PRESENTER,
	  "01 00 29 00 00 00 00 00", KEY(1, 1), { NULL } },
	{ "keyboard Escape release passes", PRESENTER,
	  "01 00 00 00 00 00 00 00", KEY(1, 0), { NULL } },
	{ "keyboard Up Arrow press passes", PRESENTER,
	  "01 00 52 00 00 00 00 00", KEY(103, 1), { NULL } },
	{ "keyboard Up Arrow release passes", PRESENTER,
	  "01 00 00 00 00 00 00 00", KEY(103, 0), { NULL } },
	{ "keyboard Down Arrow press passes", PRESENTER,
	  "01 00 51 00 00 00 00 00", KEY(108, 1), { NULL } },
	{ "keyboard Down Arrow release passes", PRESENTER,
	  "01 00 00 00 00 00 00 00", KEY(108, 0), { NULL } },
	{ "keyboard B press is dropped and logged once", PRESENTER,
	  "01 00 05 00 00 00 00 00", "", { DROPPED(7, 5, 1) } },
	{ "keyboard B release is dropped and logged once", PRESENTER,
	  "01 00 00 00 00 00 00 00", "", { DROPPED(7, 5, 0) } },
	{ "Escape passes while B pressed beside it is dropped", PRESENTER,
	  "01 00 05 29 00 00 00 00", KEY(1, 1), { DROPPED(7, 5, 1) } },
	{ "releasing both passes Escape's release and drops B's", PRESENTER,
	  "01 00 00 00 00 00 00 00", KEY(1, 0), { DROPPED(7, 5, 0) } },
	{ "consumer Volume Increment press passes", PRESENTER,
	  "03 e9 00 00 00", KEY(115, 1), { NULL } },
	{ "consumer Volume Increment release passes", PRESENTER,
	  "03 00 00 00 00", KEY(115, 0), { NULL } },
	{ "consumer Volume Decrement press passes", PRESENTER,
	  "03 ea 00 00 00", KEY(114, 1), { NULL } },
	{ "consumer Volume Decrement release passes", PRESENTER,
	  "03 00 00 00 00", KEY(114, 0), { NULL } },
	{ "consumer Mute press is dropped and logged once", PRESENTER,
	  "03 e2 00 00 00", "", { DROPPED(12, 226, 1) } },
	{ "consumer Mute release is dropped and logged once", PRESENTER,
	  "03 00 00 00 00", "", { DROPPED(12, 226, 0) } },
};

static struct log_budget *budget_for(const char *line)
{
	if (strcmp(line, RF_LINE) == 0)
		return &rf_budget;
	if (strcmp(line, BT_LINE) == 0)
		return &bt_budget;
	return &dropped_budget;
}

static void run_report_case(const struct report_case *c)
{
	struct device *device = &devices[c->device];
	unsigned char bytes[64], echoed[256];
	char evdev[TEXT_SIZE], log[TEXT_SIZE * 4];
	size_t size = parse_hex(c->report, bytes, sizeof(bytes));
	int expected_lines = 0, events;
	ssize_t got;

	for (int i = 0; i < 2 && c->log[i]; i++) {
		spend_log_budget(budget_for(c->log[i]), 1);
		expected_lines++;
	}
	drain(device);
	if (!send_report(device, bytes, size)) {
		result(false, c->rule, "uhid refused the report: %s", strerror(errno));
		return;
	}
	events = read_evdev(device, evdev, sizeof(evdev), false);
	got = read(device->hidraw, echoed, sizeof(echoed));
	read_new_log(log, sizeof(log));

	if (got != (ssize_t)size || memcmp(echoed, bytes, size) != 0) {
		result(false, c->rule, "hidraw did not get the report whole (read %zd bytes)", got);
		return;
	}
	if (c->evdev[0] == '\0' && events != 0) {
		result(false, c->rule, "expected no evdev event, got %d:\n%s", events, evdev);
		return;
	}
	if (strcmp(evdev, c->evdev) != 0) {
		result(false, c->rule, "evdev got\n%sexpected\n%s", evdev, c->evdev);
		return;
	}
	if (count_lines_with(log, "com_nuvexa_EventDriver") != expected_lines) {
		result(false, c->rule, "expected %d filter line(s), the kernel log has\n%s",
		       expected_lines, log);
		return;
	}
	for (int i = 0; i < expected_lines; i++) {
		/* The whole record: the device's name, then the line word for word. */
		char line[512];

		snprintf(line, sizeof(line), "nuvexa %s: %s\n", device->sysfs_name, c->log[i]);
		if (count_lines_with(log, line) != 1) {
			result(false, c->rule, "the kernel log lacks \"%s\"; it has\n%s", line, log);
			return;
		}
	}
	result(true, c->rule, NULL);
}

/* ---- the module's lifecycle ---- */

static int run(const char *command)
{
	int status = system(command);

	return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

static void expect_driver(const char *rule, struct device *device, const char *driver)
{
	char bound[64] = "";

	if (wait_bound(device, driver, 10)) {
		result(true, rule, NULL);
		return;
	}
	driver_of(device, bound, sizeof(bound));
	result(false, rule, "%s is bound to \"%s\" (sysfs %s)", device->label, bound,
	       device->sysfs_name[0] ? device->sysfs_name : "not found");
}

static void unfiltered_consumer_report_reaches_evdev(void)
{
	const char *rule = "without the filter, an RF consumer report of Mute reaches evdev";
	struct device *device = &devices[RF_MOUSE];
	unsigned char press[] = { 0x10, 0xe2, 0x00 }, release[] = { 0x10, 0x00, 0x00 };
	char evdev[TEXT_SIZE], log[TEXT_SIZE];

	drain(device);
	send_report(device, press, sizeof(press));
	send_report(device, release, sizeof(release));
	read_evdev(device, evdev, sizeof(evdev), false);
	read_new_log(log, sizeof(log));
	if (strcmp(evdev, KEY(113, 1) KEY(113, 0)) != 0)
		result(false, rule, "evdev got\n%s", evdev);
	else
		result(!strstr(log, "com_nuvexa"), rule, "the kernel log has\n%s", log);
}

static void loading_rebinds_attached_devices(void)
{
	const char *rule = "loading the filter hangs up the attached devices' hidraw nodes "
			   "and binds the filter to them";
	struct pollfd old[2] = { { .fd = devices[RF_MOUSE].hidraw, .events = POLLIN },
				 { .fd = devices[BT_MOUSE].hidraw, .events = POLLIN } };
	int status;

	/* Keep the open nodes from being closed so their hang-up can be seen. */
	devices[RF_MOUSE].hidraw = -1;
	devices[BT_MOUSE].hidraw = -1;
	status = run("modprobe nuvexa");
	if (status != 0) {
		result(false, rule, "modprobe nuvexa exited with %d", status);
		return;
	}
	poll(old, 2, 1000);
	bool hung_up = (old[0].revents & POLLHUP) && (old[1].revents & POLLHUP);
	bool bound = wait_bound(&devices[RF_MOUSE], "nuvexa", 10) &&
		     wait_bound(&devices[BT_MOUSE], "nuvexa", 10);
	close(old[0].fd);
	close(old[1].fd);
	result(hung_up && bound, rule, "hang-up seen: %s, bound to nuvexa: %s",
	       hung_up ? "yes" : "no", bound ? "yes" : "no");
}

/*
 * 10,000 withheld reports in a row: the filter's rate limit (10 lines in 5
 * seconds, then one line counting the rest) keeps the log to a few lines
 * for each 5 seconds the flood lasts.
 */
static void flood_leaves_log_bounded(void)
{
	const char *rule = "a flood of 10,000 withheld reports leaves the kernel log bounded";
	struct device *device = &devices[RF_MOUSE];
	unsigned char report[] = { 0x10, 0x00, 0x00 };
	static char log[1 << 20];
	char evdev[TEXT_SIZE];
	int sent = 0, echoed = 0, events, lines, records, allowed;
	double started, elapsed;

	drain(device);
	/* Past the end of the interval the earlier cases began, so the flood starts a fresh one. */
	sleep_seconds(5.5);
	started = now_seconds();
	for (; sent < 10000; sent++) {
		if (!send_report(device, report, sizeof(report)))
			break;
		/* hidraw queues 64 reports per reader; keep it from filling. */
		if (sent % 32 == 31)
			while (read(device->hidraw, evdev, sizeof(evdev)) > 0)
				echoed++;
	}
	while (read(device->hidraw, evdev, sizeof(evdev)) > 0)
		echoed++;
	elapsed = now_seconds() - started;
	events = read_evdev(device, evdev, sizeof(evdev), true);
	read_new_log(log, sizeof(log));
	lines = count_lines_with(log, RF_LINE);
	records = count_lines_with(log, "\n");
	allowed = 10 * ((int)(elapsed / 5) + 1);
	if (sent != 10000)
		result(false, rule, "uhid refused report %d: %s", sent, strerror(errno));
	else if (echoed != sent)
		result(false, rule, "hidraw got %d of the %d reports", echoed, sent);
	else if (events != 0)
		result(false, rule, "%d evdev events reached the system", events);
	else if (lines < 1 || lines > allowed || records > 2 * allowed)
		result(false, rule, "%d filter lines and %d log records in %.1f s (at most %d lines)",
		       lines, records, elapsed, allowed);
	else
		result(true, rule, NULL);
	printf("# flood: %d reports in %.2f s, %d filter lines, %d log records\n",
	       sent, elapsed, lines, records);
}

/* ---- the agent's own path ---- */

#define AGENT "/opt/nuvexa/bin/nuvexa-agent"
#define CTL "/opt/nuvexa/bin/nuvexactl"
#define AGENT_ENV "HOME=/root XDG_RUNTIME_DIR=/run/user/0 PATH=/opt/nuvexa/bin:/bin:/sbin"

static pid_t agent_pid = -1;
static int keyboard_fd = -1;

static bool start_agent(void)
{
	agent_pid = fork();
	if (agent_pid == 0) {
		int log = open("/tmp/agent.log", O_WRONLY | O_CREAT | O_TRUNC, 0644);

		dup2(log, 1);
		dup2(log, 2);
		execl("/bin/sh", "sh", "-c", "exec env -i " AGENT_ENV " " AGENT, (char *)NULL);
		_exit(127);
	}
	return agent_pid > 0;
}

/* Opens the evdev node of the input device with this name. */
static int open_input_named(const char *name, double timeout)
{
	double deadline = now_seconds() + timeout;
	char path[512], text[256];

	while (now_seconds() < deadline) {
		DIR *dir = opendir("/sys/class/input");
		struct dirent *entry;

		while (dir && (entry = readdir(dir))) {
			if (strncmp(entry->d_name, "event", 5) != 0)
				continue;
			snprintf(path, sizeof(path), "/sys/class/input/%s/device/name", entry->d_name);
			FILE *file = fopen(path, "r");
			if (!file)
				continue;
			bool match = fgets(text, sizeof(text), file) &&
				     strncmp(text, name, strlen(name)) == 0 && text[strlen(name)] == '\n';
			fclose(file);
			if (match) {
				snprintf(path, sizeof(path), "/dev/input/%s", entry->d_name);
				closedir(dir);
				return open(path, O_RDONLY | O_NONBLOCK);
			}
		}
		if (dir)
			closedir(dir);
		sleep_seconds(0.05);
	}
	return -1;
}

/*
 * Reads the virtual keyboard's key events ("code value" a line) until
 * `wanted` of them arrived or the keyboard stayed quiet for `quiet` seconds.
 */
static int read_keyboard(char *out, size_t capacity, int wanted, double quiet)
{
	struct input_event event;
	struct pollfd pollfd = { .fd = keyboard_fd, .events = POLLIN };
	size_t used = 0;
	int keys = 0;

	out[0] = '\0';
	while (keys < wanted && poll(&pollfd, 1, (int)(quiet * 1000)) > 0) {
		while (read(keyboard_fd, &event, sizeof(event)) == sizeof(event)) {
			if (event.type != EV_KEY)
				continue;
			keys++;
			used += snprintf(out + used, used < capacity ? capacity - used : 0, "%d %d\n",
					 event.code, event.value);
			if (used >= capacity)
				used = capacity - 1;
		}
	}
	return keys;
}

/* The device types the agent has open, sorted, e.g. "0 1 2"; `text` gets nuvexactl's output. */
static void agent_device_types(char *out, size_t capacity, char *text, size_t text_capacity)
{
	int types[32], count = 0;
	size_t used = 0;
	FILE *pipe = popen(AGENT_ENV " " CTL " devices --json 2>&1", "r");

	if (pipe) {
		size_t got = fread(text, 1, text_capacity - 1, pipe);
		text[got] = '\0';
		pclose(pipe);
	}
	for (const char *at = text; (at = strstr(at, "\"type\":")) && count < 32; at++)
		types[count++] = atoi(at + 7);
	for (int i = 1; i < count; i++)
		for (int j = i; j > 0 && types[j - 1] > types[j]; j--) {
			int swap = types[j];
			types[j] = types[j - 1];
			types[j - 1] = swap;
		}
	out[0] = '\0';
	for (int i = 0; i < count; i++)
		used += snprintf(out + used, capacity - used, i ? " %d" : "%d", types[i]);
}

static void expect_agent_devices(const char *rule, const char *types)
{
	double deadline = now_seconds() + 10;
	char seen[256], text[4096] = "";

	do {
		agent_device_types(seen, sizeof(seen), text, sizeof(text));
		if (strcmp(seen, types) == 0) {
			result(true, rule, NULL);
			return;
		}
		sleep_seconds(0.1);
	} while (now_seconds() < deadline);
	result(false, rule, "the agent serves device types \"%s\", expected \"%s\"; nuvexactl said\n%s",
	       seen, types, text);
}

/* KEY_A 30, KEY_LEFTALT 56, KEY_RIGHT 106. */
static void expect_press_plays(const char *rule, struct device *device, const char *press,
			       const char *keys)
{
	unsigned char bytes[64], release[64] = { 0x02 };
	char seen[TEXT_SIZE], scratch[TEXT_SIZE];
	size_t size = parse_hex(press, bytes, sizeof(bytes));
	int wanted = count_lines_with(keys, "\n");

	read_keyboard(scratch, sizeof(scratch), 1000, 0);
	send_report(device, bytes, size);
	send_report(device, release, size);
	read_keyboard(seen, sizeof(seen), wanted, 5);
	/* Nothing more may follow: one press, one action. */
	read_keyboard(scratch, sizeof(scratch), 1000, 0.3);
	strncat(seen, scratch, sizeof(seen) - strlen(seen) - 1);
	result(strcmp(seen, keys) == 0, rule, "the virtual keyboard got\n%sexpected\n%s", seen, keys);
}

static int compare_doubles(const void *a, const void *b)
{
	double x = *(const double *)a, y = *(const double *)b;

	return (x > y) - (x < y);
}

/*
 * Press latency on the real kernel paths, 200 presses each: from the uhid
 * write of a press to the first event on the agent's virtual keyboard, and
 * for the kernel alone, from the uhid write of a passing press to its event
 * on the device's own evdev node. A benchmark: printed, not asserted.
 */
static void measure_latency(struct device *device)
{
	enum { PRESSES = 200 };
	static const unsigned char agent_press[] = { 0x02, 0x10, 0, 0, 0, 0 };
	static const unsigned char kernel_press[] = { 0x02, 0x01, 0, 0, 0, 0 };
	static const unsigned char release[] = { 0x02, 0x00, 0, 0, 0, 0 };
	double agent[PRESSES], kernel[PRESSES];
	char scratch[TEXT_SIZE];
	int agent_count = 0;

	for (int i = 0; i < PRESSES; i++) {
		struct pollfd pollfd = { .fd = device->evdev[0], .events = POLLIN };
		double started;

		drain(device);
		started = now_seconds();
		send_report(device, kernel_press, sizeof(kernel_press));
		for (int e = 0; e < device->evdev_count; e++) {
			pollfd.fd = device->evdev[e];
			if (poll(&pollfd, 1, 0) > 0)
				break;
		}
		kernel[i] = now_seconds() - started;
		send_report(device, release, sizeof(release));
	}
	drain(device);
	for (int i = 0; i < PRESSES; i++) {
		struct pollfd pollfd = { .fd = keyboard_fd, .events = POLLIN };
		double started;

		read_keyboard(scratch, sizeof(scratch), 1000, 0);
		started = now_seconds();
		send_report(device, agent_press, sizeof(agent_press));
		if (poll(&pollfd, 1, 2000) <= 0)
			continue;
		double elapsed = now_seconds() - started;
		send_report(device, release, sizeof(release));
		/* The mapped stroke: A down, then A up; anything else is no measure. */
		if (read_keyboard(scratch, sizeof(scratch), 2, 1) == 2 && strcmp(scratch, "30 1\n30 0\n") == 0)
			agent[agent_count++] = elapsed;
	}
	qsort(kernel, PRESSES, sizeof(double), compare_doubles);
	qsort(agent, agent_count, sizeof(double), compare_doubles);
	printf("# latency, kernel alone (uhid write to the device's evdev event): "
	       "median %.3f ms, p99 %.3f ms over %d presses\n",
	       kernel[PRESSES / 2] * 1e3, kernel[PRESSES * 99 / 100 - 1] * 1e3, PRESSES);
	if (agent_count > 0)
		printf("# latency, through the agent (uhid write to the virtual keyboard's first event): "
		       "median %.3f ms, p99 %.3f ms over %d presses\n",
		       agent[agent_count / 2] * 1e3, agent[agent_count * 99 / 100 - 1] * 1e3,
		       agent_count);
	result(agent_count == PRESSES, "every one of 200 presses reached the virtual keyboard",
	       "%d of %d did", agent_count, PRESSES);
}

static void run_agent_cases(void)
{
	char log[TEXT_SIZE];

	if (run("/usr/lib/systemd/systemd-udevd --daemon --resolve-names=never && "
		"udevadm trigger --action=add && udevadm settle --timeout=30") != 0) {
		result(false, "systemd-udevd runs", "it did not start");
		return;
	}
	mkdir("/run/user", 0755);
	mkdir("/run/user/0", 0700);
	/*
	 * The guest has no session bus to carry nuvexactl's reload notice, so
	 * the mapping is saved before the agent starts and reads it.
	 */
	if (run(AGENT_ENV " " CTL " set rfmouse 4 keystroke 0") != 0)
		result(false, "nuvexactl maps button 4 of the RF mouse to A", "nuvexactl set failed");
	if (!start_agent()) {
		result(false, "the agent starts", "fork failed");
		return;
	}
	keyboard_fd = open_input_named("Nuvexa Virtual Keyboard", 15);
	result(keyboard_fd >= 0, "the agent creates its virtual keyboard", "no input device of that name");
	if (keyboard_fd < 0)
		return;

	/*
	 * rfmouse 0, btmouse 1, and -1 for the maker's product 1003: the agent
	 * opens every pointing interface (one with X and Y) of the maker's
	 * devices, so the presenters' keypads stay unserved.
	 */
	expect_agent_devices("the agent serves the devices attached before it started", "-1 0 1");
	/* HID Button 5 is the agent's button 4, HID Button 4 its button 5. */
	expect_press_plays("a press of button 4 (HID Button 5) mapped to A plays A on the virtual keyboard",
			   &devices[RF_MOUSE], "02 10 00 00 00 00", "30 1\n30 0\n");
	expect_press_plays("button 5 (HID Button 4) unmapped plays its default action, Alt+Right",
			   &devices[BT_MOUSE], "02 08 00 00 00 00", "56 1\n106 1\n106 0\n56 0\n");

	create_device(&devices[SECOND_RF_MOUSE], "nuvexa-composite.hex");
	if (!wait_bound(&devices[SECOND_RF_MOUSE], "nuvexa", 10))
		result(false, "a second RF mouse is bound to the filter", "it is not");
	expect_agent_devices("the agent serves a device attached after it started", "-1 0 0 1");
	expect_press_plays("the RF mouse attached later plays its mapping",
			   &devices[SECOND_RF_MOUSE], "02 10 00 00 00 00", "30 1\n30 0\n");
	destroy_device(&devices[SECOND_RF_MOUSE]);
	expect_agent_devices("removing one of two RF mice leaves the other served", "-1 0 1");
	expect_press_plays("the RF mouse that stayed still plays its mapping",
			   &devices[RF_MOUSE], "02 10 00 00 00 00", "30 1\n30 0\n");

	/* Loading rebinds every attached device: each leaves and comes back. */
	if (run("rmmod nuvexa && modprobe nuvexa") != 0)
		result(false, "the filter reloads", "rmmod or modprobe failed");
	wait_bound(&devices[RF_MOUSE], "nuvexa", 10);
	wait_bound(&devices[BT_MOUSE], "nuvexa", 10);
	expect_agent_devices("after the filter is loaded again the agent serves every device", "-1 0 1");
	expect_press_plays("after the filter is loaded again the RF mouse plays its mapping",
			   &devices[RF_MOUSE], "02 10 00 00 00 00", "30 1\n30 0\n");
	expect_press_plays("after the filter is loaded again the Bluetooth mouse plays its default",
			   &devices[BT_MOUSE], "02 08 00 00 00 00", "56 1\n106 1\n106 0\n56 0\n");

	measure_latency(&devices[RF_MOUSE]);

	kill(agent_pid, SIGTERM);
	int status = 0;
	waitpid(agent_pid, &status, 0);
	result(WIFEXITED(status) && WEXITSTATUS(status) == 0, "the agent stops on SIGTERM with status 0",
	       "it ended with wait status %d", status);
	int fd = open("/tmp/agent.log", O_RDONLY);
	ssize_t got = fd >= 0 ? read(fd, log, sizeof(log) - 1) : 0;
	if (got > 0) {
		log[got] = '\0';
		printf("# agent's output:\n");
		for (char *line = strtok(log, "\n"); line; line = strtok(NULL, "\n"))
			printf("#   %s\n", line);
	}
}

int main(int argc, char **argv)
{
	if (argc != 2) {
		fprintf(stderr, "usage: %s FIXTURE_DIR\n", argv[0]);
		return 2;
	}
	fixture_dir = argv[1];
	if (getenv("NUVEXA_VENDOR_ID"))
		vendor = (unsigned short)strtoul(getenv("NUVEXA_VENDOR_ID"), NULL, 0);
	kmsg_fd = open("/dev/kmsg", O_RDONLY | O_NONBLOCK);
	if (kmsg_fd < 0) {
		perror("/dev/kmsg");
		return 2;
	}
	lseek(kmsg_fd, 0, SEEK_END);

	/* Before the filter is loaded: hid-generic serves the maker's devices. */
	if (!create_device(&devices[RF_MOUSE], "nuvexa-composite.hex") ||
	    !create_device(&devices[BT_MOUSE], "nuvexa-composite.hex")) {
		perror("/dev/uhid");
		return 2;
	}
	expect_driver("without the filter, hid-generic serves the RF mouse", &devices[RF_MOUSE],
		      "hid-generic");
	expect_driver("without the filter, hid-generic serves the Bluetooth mouse",
		      &devices[BT_MOUSE], "hid-generic");
	unfiltered_consumer_report_reaches_evdev();

	loading_rebinds_attached_devices();
	create_device(&devices[PRESENTER], "logitech-receiver-keyboard.hex");
	create_device(&devices[OTHER_PRODUCT], "boot-mouse.hex");
	expect_driver("the filter serves a presenter attached after it loaded",
		      &devices[PRESENTER], "nuvexa");
	expect_driver("a product of the maker's that is not one of the three stays with hid-generic",
		      &devices[OTHER_PRODUCT], "hid-generic");

	for (size_t i = 0; i < sizeof(report_cases) / sizeof(report_cases[0]); i++)
		run_report_case(&report_cases[i]);
	flood_leaves_log_bounded();

	if (run("rmmod nuvexa") != 0)
		result(false, "the filter unloads", "rmmod nuvexa failed");
	for (int i = RF_MOUSE; i <= PRESENTER; i++) {
		char rule[128];
		snprintf(rule, sizeof(rule), "unloading the filter returns the %s to hid-generic",
			 devices[i].label);
		expect_driver(rule, &devices[i], "hid-generic");
	}

	/* With module aliases acted on, as udev does, a new device loads the filter by itself. */
	if (run("uevent /sbin/e2e-hotplug >/dev/null 2>&1 &") != 0)
		result(false, "uevents are acted on", "cannot start uevent");
	sleep_seconds(0.5);
	create_device(&devices[BT_PRESENTER], "hp-elite-presenter-keypad.hex");
	expect_driver("a new device of the maker's loads the filter by its alias and binds to it",
		      &devices[BT_PRESENTER], "nuvexa");

	run_agent_cases();

	printf("e2e result: %d passed, %d failed\n", passed, failed);
	return failed ? 1 : 0;
}
