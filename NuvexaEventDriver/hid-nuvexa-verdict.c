// SPDX-License-Identifier: GPL-2.0
/*
 * The kernel filter's verdicts. No I/O and no state: the same bytes always
 * get the same verdict, in the kernel and in the unit tests.
 */

#include "hid-nuvexa-verdict.h"

#define NUVEXA_ARRAY_SIZE(a)	(sizeof(a) / sizeof((a)[0]))

/*
 * The leading bytes that mark a consumer report, and the verdict when its
 * payload (every judged byte after the marks) shares no set bit.
 */
struct nuvexa_consumer_report {
	u8 marks[2];
	size_t mark_count;
	enum nuvexa_report_verdict withheld;
};

static const struct nuvexa_consumer_report nuvexa_consumer_reports[] = {
	{ { 0x08 }, 1, NUVEXA_REPORT_WITHHELD_RF },
	{ { 0x10 }, 1, NUVEXA_REPORT_WITHHELD_RF },
	{ { 0x02, 0x08 }, 2, NUVEXA_REPORT_WITHHELD_BT },
	{ { 0x02, 0x10 }, 2, NUVEXA_REPORT_WITHHELD_BT },
};

static const u32 nuvexa_passing_keys[] = {
	NUVEXA_USAGE(NUVEXA_PAGE_KEYBOARD, 0x29),	/* Escape */
	NUVEXA_USAGE(NUVEXA_PAGE_KEYBOARD, 0x51),	/* Down Arrow */
	NUVEXA_USAGE(NUVEXA_PAGE_KEYBOARD, 0x52),	/* Up Arrow */
	NUVEXA_USAGE(NUVEXA_PAGE_CONSUMER, 0xe9),	/* Volume Increment */
	NUVEXA_USAGE(NUVEXA_PAGE_CONSUMER, 0xea),	/* Volume Decrement */
	NUVEXA_USAGE(NUVEXA_PAGE_BUTTON, 1),
	NUVEXA_USAGE(NUVEXA_PAGE_BUTTON, 2),
	NUVEXA_USAGE(NUVEXA_PAGE_BUTTON, 3),
};

static bool nuvexa_marks_match(const struct nuvexa_consumer_report *kind,
			       const u8 *bytes)
{
	size_t i;

	for (i = 0; i < kind->mark_count; i++)
		if (bytes[i] != kind->marks[i])
			return false;
	return true;
}

enum nuvexa_report_verdict nuvexa_judge_report(const u8 *report, size_t size)
{
	u8 bytes[NUVEXA_JUDGED_BYTES] = { 0 };
	const struct nuvexa_consumer_report *kind;
	size_t i;
	u8 shared;

	for (i = 0; i < NUVEXA_JUDGED_BYTES && i < size; i++)
		bytes[i] = report[i];

	for (kind = nuvexa_consumer_reports;
	     kind < nuvexa_consumer_reports + NUVEXA_ARRAY_SIZE(nuvexa_consumer_reports);
	     kind++) {
		if (!nuvexa_marks_match(kind, bytes))
			continue;
		shared = 0xff;
		for (i = kind->mark_count; i < NUVEXA_JUDGED_BYTES; i++)
			shared &= bytes[i];
		return shared ? NUVEXA_REPORT_PASSES : kind->withheld;
	}
	return NUVEXA_REPORT_PASSES;
}

bool nuvexa_usage_passes(u32 usage, bool is_key)
{
	size_t i;

	if (!is_key)
		return true;
	for (i = 0; i < NUVEXA_ARRAY_SIZE(nuvexa_passing_keys); i++)
		if (nuvexa_passing_keys[i] == usage)
			return true;
	return false;
}
