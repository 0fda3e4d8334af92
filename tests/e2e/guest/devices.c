// SPDX-License-Identifier: GPL-2.0
/*
 * The virtual devices: uhid devices whose unique identifier nuvexa-e2e-LABEL
 * finds their hidraw and evdev nodes. A uhid write runs the whole report path
 * (the driver's hooks, hidraw, hid-input, evdev, the kernel log) before it
 * returns, so the nodes are read without waiting.
 */
#define _GNU_SOURCE
#include "probe.h"

#include <errno.h>
#include <fcntl.h>
#include <glob.h>
#include <linux/hidraw.h>
#include <linux/input.h>
#include <linux/uhid.h>
#include <poll.h>
#include <stdio.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

/*
 * HID core asks for reports while it binds a driver, and uhid waits 5 s for
 * each answer: the devices have no feature reports, so each is refused at once.
 */
static void *answer_requests(void *arg)
{
	struct device *device = arg;
	struct uhid_event event, reply;

	while (read(device->uhid, &event, sizeof(event)) > 0) {
		if (event.type != UHID_GET_REPORT && event.type != UHID_SET_REPORT)
			continue;
		/* Both requests begin with the id, both replies with the id and the error. */
		memset(&reply, 0, sizeof(reply));
		reply.type = event.type == UHID_GET_REPORT ? UHID_GET_REPORT_REPLY : UHID_SET_REPORT_REPLY;
		reply.u.set_report_reply.id = event.u.get_report.id;
		reply.u.set_report_reply.err = EIO;
		if (write(device->uhid, &reply, sizeof(reply)) < 0)
			break;
	}
	return NULL;
}

bool create_device(struct device *device, unsigned short vendor, const char *descriptor_file)
{
	struct uhid_event event = { .type = UHID_CREATE2 };
	struct uhid_create2_req *create = &event.u.create2;
	FILE *file = fopen(descriptor_file, "r");
	char line[512];

	/* A descriptor fixture: '#' lines are comments, the rest hex bytes. */
	while (file && fgets(line, sizeof(line), file))
		if (line[0] != '#')
			create->rd_size += parse_hex(line, create->rd_data + create->rd_size,
						     sizeof(create->rd_data) - create->rd_size);
	if (file)
		fclose(file);
	snprintf((char *)create->name, sizeof(create->name), "Nuvexa e2e %s", device->label);
	snprintf((char *)create->uniq, sizeof(create->uniq), "nuvexa-e2e-%s", device->label);
	create->bus = device->bus;
	create->vendor = vendor;
	create->product = device->product;
	device->hidraw = -1;
	device->uhid = open("/dev/uhid", O_RDWR | O_CLOEXEC);
	return file && device->uhid >= 0 && write(device->uhid, &event, sizeof(event)) == sizeof(event) &&
	       pthread_create(&device->answerer, NULL, answer_requests, device) == 0;
}

static void close_nodes(struct device *device)
{
	if (device->hidraw >= 0)
		close(device->hidraw);
	device->hidraw = -1;
	while (device->evdev_count > 0)
		close(device->evdev[--device->evdev_count]);
}

/* The device leaves; its request thread stays blocked on the dead descriptor. */
void destroy_device(struct device *device)
{
	struct uhid_event event = { .type = UHID_DESTROY };

	close_nodes(device);
	if (write(device->uhid, &event, sizeof(event)) != sizeof(event))
		perror("UHID_DESTROY");
	pthread_detach(device->answerer);
}

bool send_report(const struct device *device, const unsigned char *bytes, size_t size)
{
	struct uhid_event event = { .type = UHID_INPUT2, .u.input2.size = size };

	memcpy(event.u.input2.data, bytes, size);
	return write(device->uhid, &event, sizeof(event)) == sizeof(event);
}

/* Opens the nodes PATTERN matches whose answer to the string ioctl REQUEST is WANTED. */
int open_matching(const char *pattern, unsigned long request, const char *wanted, int *fds, int capacity)
{
	char text[TEXT_LENGTH];
	glob_t found;
	int count = 0;

	if (glob(pattern, 0, NULL, &found) != 0)
		return 0;
	for (size_t i = 0; i < found.gl_pathc && count < capacity; i++) {
		int fd = open(found.gl_pathv[i], O_RDONLY | O_NONBLOCK);

		memset(text, 0, sizeof(text));
		if (ioctl(fd, request, text) >= 0 && strcmp(text, wanted) == 0)
			fds[count++] = fd;
		else if (fd >= 0)
			close(fd);
	}
	globfree(&found);
	return count;
}

/* The last part of the target of the sysfs link NAME of the HID device that the hidraw node belongs to. */
static void hid_link(int hidraw, const char *name, char *out, size_t capacity)
{
	char path[128], target[256];
	struct stat node;
	ssize_t length;

	fstat(hidraw, &node);
	snprintf(path, sizeof(path), "/sys/dev/char/%u:%u/%s", major(node.st_rdev), minor(node.st_rdev), name);
	length = readlink(path, target, sizeof(target) - 1);
	target[length > 0 ? length : 0] = '\0';
	snprintf(out, capacity, "%.*s", (int)capacity - 1, strrchr(target, '/') ? strrchr(target, '/') + 1 : target);
}

/* Waits until the device is bound to DRIVER (to any driver for NULL) and opens its nodes. */
bool wait_bound(struct device *device, const char *driver, double timeout)
{
	double deadline = now_seconds() + timeout;
	char uniq[TEXT_LENGTH];

	snprintf(uniq, sizeof(uniq), "nuvexa-e2e-%s", device->label);
	do {
		close_nodes(device);
		device->driver[0] = '\0';
		if (open_matching("/dev/hidraw*", HIDIOCGRAWUNIQ(TEXT_LENGTH), uniq, &device->hidraw, 1)) {
			hid_link(device->hidraw, "device", device->sysfs_name, sizeof(device->sysfs_name));
			hid_link(device->hidraw, "device/driver", device->driver, sizeof(device->driver));
		}
		if (device->driver[0] && (!driver || strcmp(device->driver, driver) == 0) &&
		    (device->evdev_count = open_matching("/dev/input/event*", EVIOCGUNIQ(TEXT_LENGTH), uniq,
							 device->evdev, MAX_EVDEV)))
			return true;
		usleep(20000);
	} while (now_seconds() < deadline);
	close_nodes(device);
	return false;
}

/*
 * Adds the events on FDS to OUT ("key CODE VALUE", "rel CODE VALUE"; SYN and
 * MSC left out; ", " between) until WANTED are listed or none came for QUIET
 * seconds; returns how many events came in all.
 */
int read_input(const int *fds, int count, char *out, size_t capacity, int wanted, double quiet)
{
	struct pollfd polls[MAX_EVDEV];
	struct input_event event;
	int came = 0, listed = 0;

	for (int i = 0; i < count; i++)
		polls[i] = (struct pollfd){ .fd = fds[i], .events = POLLIN };
	while (listed < wanted && poll(polls, count, (int)(quiet * 1000)) > 0)
		for (int i = 0; i < count; i++)
			while (read(fds[i], &event, sizeof(event)) == sizeof(event) && ++came)
				if (event.type != EV_SYN && event.type != EV_MSC && strlen(out) < capacity && ++listed)
					snprintf(out + strlen(out), capacity - strlen(out), "%s%s %d %d", out[0] ? ", " : "",
						 event.type == EV_KEY ? "key" : event.type == EV_REL ? "rel" : "other",
						 event.code, event.value);
	return came;
}

/* Reads the reports queued on the device's hidraw node, at most MOST; returns how many were BYTES (any for NULL). */
int read_hidraw(const struct device *device, const unsigned char *bytes, size_t size, int most)
{
	unsigned char report[256];
	ssize_t got;
	int matched = 0;

	while (most-- > 0 && (got = read(device->hidraw, report, sizeof(report))) > 0)
		matched += !bytes || (got == (ssize_t)size && memcmp(report, bytes, size) == 0);
	return matched;
}
