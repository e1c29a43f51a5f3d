/* The card driver's binary interface, shared by the panel's binding and by
 * every driver library this project builds (the simulated card, the test
 * fakes). Every argument takes one 32-bit slot on the card's 32-bit platform:
 * Integers travel by value in the low half, buffers as the address of their
 * element 0. */
#ifndef ADCARD_ABI_H
#define ADCARD_ABI_H

#include <stdint.h>

/* The entry points the panel calls, with the bytes their arguments take on the
 * stack. This list is the one place that names them: the exported names below,
 * the module-definition files (cmake/adcard_exports.cmake) and the export check
 * (scripts/check-exports.sh) are all made from it. Keep one entry a line. */
#define ADCARD_ENTRY_POINTS(X)                                                                     \
    X(IOCtl, 16)                                                                                   \
    X(Zan_DI, 8)                                                                                   \
    X(Zan_DOBit, 8)                                                                                \
    X(Zan_DO, 8)

/* Entry points of this project's own drivers (the simulated card), beyond the
 * card driver's: the programs look for them and do without them where a
 * driver lacks them, as the card's own does. One entry a line, as above.
 *   AdcardInputWords  how many input words Zan_DI can fill
 *   AdcardLastError   why the last call that answered a negative result failed
 *                     (UTF-8), or ""
 *   AdcardCardId      which card the driver reaches (UTF-8): the same text for
 *                     the same card from any process of this machine, another
 *                     for another card; the card's own driver reaches one
 *   AdcardDescription the device the driver reaches, as the system names it
 *                     (UTF-8: its board, its driver, its node), or "" */
/* One entry a line, also while there is only one: */
/* clang-format off */
#define ADCARD_OWN_ENTRY_POINTS(Y) \
    Y(AdcardInputWords, 0)                                                                         \
    Y(AdcardLastError, 0)                                                                          \
    Y(AdcardCardId, 0)                                                                             \
    Y(AdcardDescription, 0)
/* clang-format on */

/* The board-info request: IOCtl's first and third argument, and the first
 * three bytes of the request buffer (the rest stay zero). */
enum {
    ADCARD_BOARD_INFO_CODE = 100,
    ADCARD_BOARD_INFO_REQUEST_0 = 70,
    ADCARD_BOARD_INFO_REQUEST_1 = 64,
    ADCARD_BOARD_INFO_REQUEST_2 = 0
};
/* Where the reply buffer holds the board's numbers: its family's two bytes
 * and its type; the other bytes mean nothing. */
enum { ADCARD_REPLY_FAMILY_0 = 0, ADCARD_REPLY_FAMILY_1 = 1, ADCARD_REPLY_TYPE = 4 };

#if defined(_WIN32) && !defined(_WIN64)
#define ADCARD_CALL __stdcall
/* Decorated for standard call: "_IOCtl@16". */
#define ADCARD_EXPORTED_NAME(name, bytes) "_" #name "@" #bytes
#else
#define ADCARD_CALL
#define ADCARD_EXPORTED_NAME(name, bytes) #name
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

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t(ADCARD_CALL* AdcardIOCtlFn)(int32_t request_code, uint8_t* request,
                                            int32_t reply_code, uint8_t* reply);
typedef int16_t(ADCARD_CALL* AdcardZan_DIFn)(int16_t count, int16_t* words);
typedef int16_t(ADCARD_CALL* AdcardZan_DOBitFn)(int16_t bit_index, int16_t bit_value);
typedef int16_t(ADCARD_CALL* AdcardZan_DOFn)(int16_t group, int16_t byte_value);
typedef int32_t(ADCARD_CALL* AdcardAdcardInputWordsFn)(void);
typedef const char*(ADCARD_CALL* AdcardAdcardLastErrorFn)(void);
typedef const char*(ADCARD_CALL* AdcardAdcardCardIdFn)(void);
typedef const char*(ADCARD_CALL* AdcardAdcardDescriptionFn)(void);

ADCARD_API int32_t ADCARD_CALL IOCtl(int32_t request_code, uint8_t* request, int32_t reply_code,
                                     uint8_t* reply);
ADCARD_API int16_t ADCARD_CALL Zan_DI(int16_t count, int16_t* words);
ADCARD_API int16_t ADCARD_CALL Zan_DOBit(int16_t bit_index, int16_t bit_value);
ADCARD_API int16_t ADCARD_CALL Zan_DO(int16_t group, int16_t byte_value);
ADCARD_API int32_t ADCARD_CALL AdcardInputWords(void);
ADCARD_API const char* ADCARD_CALL AdcardLastError(void);
ADCARD_API const char* ADCARD_CALL AdcardCardId(void);
ADCARD_API const char* ADCARD_CALL AdcardDescription(void);

#ifdef __cplusplus
}

#include <type_traits>

/* Each argument takes one 32-bit slot on the card's platform: the stack bytes a
 * declaration pops are four per argument, provided that no argument is wider. */
template <typename R, typename... Args>
constexpr int adcardArgumentBytes(R(ADCARD_CALL*)(Args...)) {
    static_assert(((sizeof(Args) <= 4 || std::is_pointer<Args>::value) && ...),
                  "an argument wider than its 32-bit slot");
    return static_cast<int>(4 * sizeof...(Args));
}
#define ADCARD_CHECK_BYTES(name, bytes)                                                            \
    static_assert(adcardArgumentBytes(static_cast<Adcard##name##Fn>(nullptr)) == (bytes),          \
                  #name " takes " #bytes " bytes of arguments");
ADCARD_ENTRY_POINTS(ADCARD_CHECK_BYTES)
ADCARD_OWN_ENTRY_POINTS(ADCARD_CHECK_BYTES)
#undef ADCARD_CHECK_BYTES

/* The exported names: adcard::IOCtlName is "_IOCtl@16" on 32-bit Windows. */
namespace adcard {
#define ADCARD_NAME_CONSTANT(name, bytes)                                                          \
    constexpr const char* name##Name = ADCARD_EXPORTED_NAME(name, bytes);
ADCARD_ENTRY_POINTS(ADCARD_NAME_CONSTANT)
ADCARD_OWN_ENTRY_POINTS(ADCARD_NAME_CONSTANT)
#undef ADCARD_NAME_CONSTANT
} // namespace adcard
#endif

#endif /* ADCARD_ABI_H */
