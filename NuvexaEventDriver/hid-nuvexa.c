// SPDX-License-Identifier: GPL-2.0
/*
 * HID driver for the maker's wireless pointing devices: the RF Wireless
 * Mouse, the Bluetooth Mouse and the Bluetooth Presenter.
 *
 * The agent performs the user's action for a press of a device's extra
 * buttons from the reports it reads through hidraw. Without this driver the
 * same press would also reach the system through hid-input: the devices'
 * consumer-control reports, their key usages, and Buttons 4 and 5, which the
 * desktop turns into back and forward. The driver keeps those from
 * hid-input, and so from evdev, while hidraw still gets every report whole.
 *
 * HID core calls .raw_event once per report, before hidraw sees it, and then
 * .event once per usage of that report. .raw_event judges the whole report
 * and never drops it (a negative return would hide it from hidraw, and so
 * from the agent); .event carries out that verdict for each of the report's
 * usages, and the usage verdict for the usages of a report that passes.
 */

#include <linux/device.h>
#include <linux/hid.h>
#include <linux/module.h>

#include "hid-nuvexa-verdict.h"

#ifndef NUVEXA_VENDOR_ID
#error "NUVEXA_VENDOR_ID is the maker's USB vendor identifier; Kbuild defines it"
#endif

#define NUVEXA_PRODUCT_RF_MOUSE		1001
#define NUVEXA_PRODUCT_BT_MOUSE		1002
#define NUVEXA_PRODUCT_PRESENTER	2001

/*
 * The verdict on the report HID core is processing, from its .raw_event to
 * the .event calls for its usages. HID core hands a device's reports over
 * one at a time (hid_input_report() takes the device's driver_input_lock
 * with a trylock and refuses a report while another is in), so this needs
 * no lock of its own, and it holds nothing from one report to the next.
 */
struct nuvexa_device {
	bool report_withheld;
};

static int nuvexa_probe(struct hid_device *hdev, const struct hid_device_id *id)
{
	struct nuvexa_device *nd;
	int ret;

	nd = devm_kzalloc(&hdev->dev, sizeof(*nd), GFP_KERNEL);
	if (!nd)
		return -ENOMEM;
	hid_set_drvdata(hdev, nd);

	ret = hid_parse(hdev);
	if (ret) {
		hid_err(hdev, "parse failed\n");
		return ret;
	}
	ret = hid_hw_start(hdev, HID_CONNECT_DEFAULT);
	if (ret) {
		hid_err(hdev, "hw start failed\n");
		return ret;
	}
	return 0;
}

static int nuvexa_raw_event(struct hid_device *hdev, struct hid_report *report,
			    u8 *data, int size)
{
	struct nuvexa_device *nd = hid_get_drvdata(hdev);
	enum nuvexa_report_verdict verdict = NUVEXA_REPORT_PASSES;

	/* Only input reports carry presses; answers to feature requests pass. */
	if (report->type == HID_INPUT_REPORT)
		verdict = nuvexa_judge_report(data, size > 0 ? size : 0);
	nd->report_withheld = verdict != NUVEXA_REPORT_PASSES;

	/*
	 * One log line per withheld report, rate-limited (at most 10 lines in
	 * 5 seconds for each line, then a count of those suppressed), so that
	 * a flood of reports cannot flood the kernel log.
	 */
	switch (verdict) {
	case NUVEXA_REPORT_WITHHELD_RF:
		hid_info_ratelimited(hdev, NUVEXA_RF_WITHHELD_LINE);
		break;
	case NUVEXA_REPORT_WITHHELD_BT:
		hid_info_ratelimited(hdev, NUVEXA_BT_WITHHELD_LINE);
		break;
	case NUVEXA_REPORT_PASSES:
		break;
	}
	return 0;
}

/*
 * Whether HID core hands .event this usage because its value changed. It
 * hands over every usage of a variable field in every report, changed or
 * not, while the field still holds the previous report's values; of an
 * array field it hands over only the usages that entered or left it.
 */
static bool nuvexa_value_changed(const struct hid_field *field,
				 const struct hid_usage *usage, __s32 value)
{
	unsigned int index;

	if (!(field->flags & HID_MAIN_ITEM_VARIABLE))
		return true;
	index = usage - field->usage;
	return index >= field->report_count || field->value[index] != value;
}

static int nuvexa_event(struct hid_device *hdev, struct hid_field *field,
			struct hid_usage *usage, __s32 value)
{
	struct nuvexa_device *nd = hid_get_drvdata(hdev);

	/* A non-zero return keeps the usage from hid-input; hidraw has the report already. */
	if (nd->report_withheld)
		return 1;
	if (nuvexa_usage_passes(usage->hid, usage->type == EV_KEY))
		return 0;
	/* One log line per dropped key event, not per report that repeats its value. */
	if (nuvexa_value_changed(field, usage, value))
		hid_info_ratelimited(hdev, NUVEXA_DROPPED_FORMAT,
				     (int)(usage->hid >> 16),
				     (int)(usage->hid & HID_USAGE), value);
	return 1;
}

static const struct hid_device_id nuvexa_devices[] = {
	{ HID_USB_DEVICE(NUVEXA_VENDOR_ID, NUVEXA_PRODUCT_RF_MOUSE) },
	{ HID_USB_DEVICE(NUVEXA_VENDOR_ID, NUVEXA_PRODUCT_BT_MOUSE) },
	{ HID_USB_DEVICE(NUVEXA_VENDOR_ID, NUVEXA_PRODUCT_PRESENTER) },
	{ HID_BLUETOOTH_DEVICE(NUVEXA_VENDOR_ID, NUVEXA_PRODUCT_RF_MOUSE) },
	{ HID_BLUETOOTH_DEVICE(NUVEXA_VENDOR_ID, NUVEXA_PRODUCT_BT_MOUSE) },
	{ HID_BLUETOOTH_DEVICE(NUVEXA_VENDOR_ID, NUVEXA_PRODUCT_PRESENTER) },
	{ }
};
MODULE_DEVICE_TABLE(hid, nuvexa_devices);

/* Without a .remove, HID core stops the hardware itself on unbinding. */
static struct hid_driver nuvexa_driver = {
	.name = "nuvexa",
	.id_table = nuvexa_devices,
	.probe = nuvexa_probe,
	.raw_event = nuvexa_raw_event,
	.event = nuvexa_event,
};
module_hid_driver(nuvexa_driver);

MODULE_DESCRIPTION("NuvexaEventDriver: withholds the consumer reports and most key events of the Nuvexa devices");
MODULE_LICENSE("GPL");
MODULE_VERSION("2.0.0b1");
