/* SPDX-License-Identifier: GPL-2.0 */
/*
 * The kernel filter's two verdicts, as plain code over plain data: whether a
 * whole input report of the maker's devices is withheld from the system, and
 * whether one of its usages may reach the system. The module carries them
 * out; the unit tests build this code in user space.
 */
#ifndef HID_NUVEXA_VERDICT_H
#define HID_NUVEXA_VERDICT_H

#include "nuvexa-types.h"

/* A HID usage as struct hid_usage holds it: the page in the high 16 bits. */
#define NUVEXA_USAGE(page, id)	(((u32)(page) << 16) | (u32)(id))

#define NUVEXA_PAGE_KEYBOARD	0x07
#define NUVEXA_PAGE_BUTTON	0x09
#define NUVEXA_PAGE_CONSUMER	0x0c

/* The report verdict looks at this many leading bytes of a report. */
#define NUVEXA_JUDGED_BYTES	8

/* The kernel log lines, word for word as the system has always written them. */
#define NUVEXA_RF_WITHHELD_LINE \
	"com_nuvexa_EventDriver::handleInterruptReport() => RF Mouse; Block IOHIDConsumer event."
#define NUVEXA_BT_WITHHELD_LINE \
	"com_nuvexa_EventDriver::handleInterruptReport() => BT Mouse; Block IOHIDConsumer event."
/* Arguments: the usage page, the usage and the value, as signed decimals. */
#define NUVEXA_DROPPED_FORMAT \
	"com_nuvexa_EventDriver::dispatchKeyboardEvent() => (usagePage = %d, usage = %d, value = %d).\n"

enum nuvexa_report_verdict {
	NUVEXA_REPORT_PASSES,
	NUVEXA_REPORT_WITHHELD_RF,	/* the RF receiver's consumer report */
	NUVEXA_REPORT_WITHHELD_BT,	/* a Bluetooth device's consumer report */
};

/*
 * The verdict on a whole report, judged from its first NUVEXA_JUDGED_BYTES
 * bytes (byte 0 is the report's first byte: its report ID when it has one).
 * A first byte of 8 or 16 (the RF receiver), or a first byte of 2 with a
 * second byte of 8 or 16 (Bluetooth), marks a consumer report; it passes only
 * when every byte after those marks shares a set bit. Every other report
 * passes unexamined.
 *
 * Bytes beyond the end of a short report count as 0: a byte that is not
 * there carries no set bit, so a short consumer report is withheld, and an
 * empty report passes.
 */
enum nuvexa_report_verdict nuvexa_judge_report(const u8 *report, size_t size);

/*
 * Whether a usage may reach the system. A usage that the system would see
 * as a key (is_key) reaches it only when it is on the pass list: keyboard
 * Escape, Down Arrow and Up Arrow; consumer Volume Increment and Volume
 * Decrement; Buttons 1 to 3. Every other key is dropped, among them
 * Buttons 4 and 5, which the desktop would turn into back and forward.
 * A usage that is not a key (pointer motion, the wheels) always passes.
 */
bool nuvexa_usage_passes(u32 usage, bool is_key);

#endif /* HID_NUVEXA_VERDICT_H */
