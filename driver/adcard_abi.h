/* The card driver's binary interface, shared by the panel's binding and by
 * every driver library this project builds (the simulated card, the test
 * fakes). Every argument takes one 32-bit slot on the card's 32-bit platform:
 * Integers travel by value in the low half, buffers as the address of their
 * element 0. */
#ifndef ADCARD_ABI_H
#define ADCARD_ABI_H

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define ADCARD_CALL __stdcall
#else
#define ADCARD_CALL
#endif

/* Defined by the libraries that implement the driver, so that they export it.
 * On 32-bit Windows a module-definition file exports the entry points instead:
 * only it can give them the exact decorated names the real driver has. */
#if defined(ADCARD_BUILDING_DRIVER)
#if defined(_WIN32) && !defined(_WIN64)
#define ADCARD_API
#elif defined(_WIN32)
#define ADCARD_API __declspec(dllexport)
#else
#define ADCARD_API __attribute__((visibility("default")))
#endif
#else
#define ADCARD_API
#endif

/* Exported names: decorated for standard call on 32-bit Windows, plain elsewhere. */
#if defined(_WIN32) && !defined(_WIN64)
#define ADCARD_NAME_IOCTL "_IOCtl@16"
#define ADCARD_NAME_ZAN_DI "_Zan_DI@8"
#define ADCARD_NAME_ZAN_DOBIT "_Zan_DOBit@8"
#define ADCARD_NAME_ZAN_DO "_Zan_DO@8"
#else
#define ADCARD_NAME_IOCTL "IOCtl"
#define ADCARD_NAME_ZAN_DI "Zan_DI"
#define ADCARD_NAME_ZAN_DOBIT "Zan_DOBit"
#define ADCARD_NAME_ZAN_DO "Zan_DO"
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t(ADCARD_CALL* AdcardIOCtlFn)(int32_t request_code, uint8_t* request,
                                            int32_t reply_code, uint8_t* reply);
typedef int16_t(ADCARD_CALL* AdcardZanDIFn)(int16_t count, int16_t* words);
typedef int16_t(ADCARD_CALL* AdcardZanDOBitFn)(int16_t bit_index, int16_t bit_value);
typedef int16_t(ADCARD_CALL* AdcardZanDOFn)(int16_t group, int16_t byte_value);

ADCARD_API int32_t ADCARD_CALL IOCtl(int32_t request_code, uint8_t* request, int32_t reply_code,
                                     uint8_t* reply);
ADCARD_API int16_t ADCARD_CALL Zan_DI(int16_t count, int16_t* words);
ADCARD_API int16_t ADCARD_CALL Zan_DOBit(int16_t bit_index, int16_t bit_value);
ADCARD_API int16_t ADCARD_CALL Zan_DO(int16_t group, int16_t byte_value);

#ifdef __cplusplus
}
#endif

#endif /* ADCARD_ABI_H */
