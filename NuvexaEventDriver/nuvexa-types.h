/* SPDX-License-Identifier: GPL-2.0 */
/*
 * The kernel's fixed-width type names for the verdicts: <linux/types.h> in
 * the kernel, the same names over the C library's <stdint.h> in user space,
 * where the unit tests build the verdicts.
 */
#ifndef NUVEXA_TYPES_H
#define NUVEXA_TYPES_H

#ifdef __KERNEL__
#include <linux/types.h>
#else
#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

typedef uint8_t u8;
typedef uint16_t u16;
typedef uint32_t u32;
typedef int32_t s32;
#endif

#endif /* NUVEXA_TYPES_H */
