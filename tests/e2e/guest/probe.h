/* SPDX-License-Identifier: GPL-2.0 */
/*
 * The end-to-end probe: the case files' interpreter, one function a row kind
 * (probe.c), and the virtual devices with one reader a kind of node (devices.c).
 */
#ifndef NUVEXA_E2E_PROBE_H
#define NUVEXA_E2E_PROBE_H

#include <pthread.h>
#include <stdbool.h>
#include <stddef.h>

#define TEXT_SIZE 8192
#define TEXT_LENGTH 64
#define MAX_EVDEV 8

struct device {
	char label[32], sysfs_name[64], driver[32];
	unsigned short bus, product;
	int uhid, hidraw, evdev[MAX_EVDEV], evdev_count;
	pthread_t answerer;
};

double now_seconds(void);
size_t parse_hex(const char *text, unsigned char *out, size_t capacity);

bool create_device(struct device *device, unsigned short vendor, const char *descriptor_file);
void destroy_device(struct device *device);
bool send_report(const struct device *device, const unsigned char *bytes, size_t size);
int open_matching(const char *pattern, unsigned long request, const char *wanted, int *fds, int capacity);
bool wait_bound(struct device *device, const char *driver, double timeout);
int read_input(const int *fds, int count, char *out, size_t capacity, int wanted, double quiet);
int read_hidraw(const struct device *device, const unsigned char *bytes, size_t size, int most);

#endif
