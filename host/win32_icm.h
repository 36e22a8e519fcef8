// Windows colour system (ICM, mscms): the types, constants and functions the
// Windows colour engine calls. On Windows the SDK's declarations are used;
// elsewhere platform/win32 implements them over LittleCMS.
#pragma once

#include "host/win32_types.h"

#ifdef _WIN32
#include <icm.h>
#else

typedef HANDLE HPROFILE;
typedef HPROFILE* PHPROFILE;
typedef HANDLE HTRANSFORM;
typedef DWORD TAGTYPE;

// PROFILE::dwType.
#define PROFILE_FILENAME 1
#define PROFILE_MEMBUFFER 2
// OpenColorProfile access, sharing and creation modes.
#define PROFILE_READ 1
#define PROFILE_READWRITE 2
#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define OPEN_EXISTING 3

/// A profile to open: a file name (dwType PROFILE_FILENAME) or bytes in
/// memory (PROFILE_MEMBUFFER).
struct PROFILE {
    DWORD dwType;
    PVOID pProfileData;
    DWORD cbDataSize;
};
typedef PROFILE* PPROFILE;

typedef LONG FXPT2DOT30;
struct CIEXYZ {
    FXPT2DOT30 ciexyzX;
    FXPT2DOT30 ciexyzY;
    FXPT2DOT30 ciexyzZ;
};

/// The 128-byte ICC header with every number in host byte order
/// (signatures as numbers: 'CMYK' is 0x434D594B).
struct PROFILEHEADER {
    DWORD phSize;
    DWORD phCMMType;
    DWORD phVersion;
    DWORD phClass;
    DWORD phDataColorSpace;
    DWORD phConnectionSpace;
    DWORD phDateTime[3];
    DWORD phSignature;
    DWORD phPlatform;
    DWORD phProfileFlags;
    DWORD phManufacturer;
    DWORD phModel;
    DWORD phAttributes[2];
    DWORD phRenderingIntent;
    CIEXYZ phIlluminant;
    DWORD phCreator;
    BYTE phReserved[44];
};
typedef PROFILEHEADER* PPROFILEHEADER;

// Colour-space signatures of the header.
#define SPACE_XYZ 0x58595A20u
#define SPACE_Lab 0x4C616220u
#define SPACE_RGB 0x52474220u
#define SPACE_GRAY 0x47524159u
#define SPACE_CMYK 0x434D594Bu

// Rendering intents.
#define INTENT_PERCEPTUAL 0
#define INTENT_RELATIVE_COLORIMETRIC 1
#define INTENT_SATURATION 2
#define INTENT_ABSOLUTE_COLORIMETRIC 3

// CreateMultiProfileTransform flags and CMM index.
#define PROOF_MODE 0x00000001
#define NORMAL_MODE 0x00000002
#define BEST_MODE 0x00000003
#define ENABLE_GAMUT_CHECKING 0x00010000
#define INDEX_DONT_CARE 0

// PostScript colour-space array types.
#define CSA_A 1
#define CSA_ABC 2
#define CSA_DEF 3
#define CSA_DEFG 4
#define CSA_GRAY 5
#define CSA_RGB 6
#define CSA_CMYK 7
#define CSA_Lab 8

/// Bitmap formats. A name lists the channels of a packed little-endian
/// value from its high end, so the bytes in memory come in the reverse
/// order: BM_RGBTRIPLETS holds blue, green, red; BM_BGRTRIPLETS red, green,
/// blue; BM_KYMCQUADS cyan, magenta, yellow, black; BM_LabTRIPLETS b, a, L.
/// The n-channel formats and BM_GRAY hold their channels in order.
enum BMFORMAT {
    BM_x555RGB = 0x0000,
    BM_x555XYZ = 0x0101,
    BM_x555Yxy,
    BM_x555Lab,
    BM_x555G3CH,
    BM_RGBTRIPLETS = 0x0002,
    BM_BGRTRIPLETS = 0x0004,
    BM_XYZTRIPLETS = 0x0201,
    BM_YxyTRIPLETS,
    BM_LabTRIPLETS,
    BM_G3CHTRIPLETS,
    BM_5CHANNEL,
    BM_6CHANNEL,
    BM_7CHANNEL,
    BM_8CHANNEL,
    BM_GRAY,
    BM_xRGBQUADS = 0x0008,
    BM_xBGRQUADS = 0x0010,
    BM_xG3CHQUADS = 0x0304,
    BM_KYMCQUADS,
    BM_CMYKQUADS = 0x0020,
};

/// Progress of TranslateBitmapBits: rows done, rows in all, the caller's
/// data; returning FALSE cancels.
typedef BOOL(WINAPI* PBMCALLBACKFN)(ULONG, ULONG, LPARAM);

/// Colour records of TranslateColors: 16-bit words (0 to 0xFFFF over the
/// channel's range), one byte per channel for five to eight channels.
struct GRAYCOLOR {
    WORD gray;
};
struct RGBCOLOR {
    WORD red;
    WORD green;
    WORD blue;
};
struct CMYKCOLOR {
    WORD cyan;
    WORD magenta;
    WORD yellow;
    WORD black;
};
struct XYZCOLOR {
    WORD X;
    WORD Y;
    WORD Z;
};
struct YxyCOLOR {
    WORD Y;
    WORD x;
    WORD y;
};
struct LabCOLOR {
    WORD L;
    WORD a;
    WORD b;
};
struct GENERIC3CHANNEL {
    WORD ch1;
    WORD ch2;
    WORD ch3;
};
struct NAMEDCOLOR {
    DWORD dwIndex;
};
#define MAX_COLOR_CHANNELS 8
struct HiFiCOLOR {
    BYTE channel[MAX_COLOR_CHANNELS];
};
union COLOR {
    GRAYCOLOR gray;
    RGBCOLOR rgb;
    CMYKCOLOR cmyk;
    XYZCOLOR XYZ;
    YxyCOLOR Yxy;
    LabCOLOR Lab;
    GENERIC3CHANNEL gen3ch;
    NAMEDCOLOR named;
    HiFiCOLOR hifi;
    struct {
        DWORD reserved1;
        VOID* reserved2;
    } reserved;
};
typedef COLOR* PCOLOR;

enum COLORTYPE {
    COLOR_GRAY = 1,
    COLOR_RGB,
    COLOR_XYZ,
    COLOR_Yxy,
    COLOR_Lab,
    COLOR_3_CHANNEL,
    COLOR_CMYK,
    COLOR_5_CHANNEL,
    COLOR_6_CHANNEL,
    COLOR_7_CHANNEL,
    COLOR_8_CHANNEL,
    COLOR_NAMED,
};

extern "C" {

/// Chooses the CMM for transforms created from now on, by signature
/// ('Win ' 0x57696E20, 'ADBE' 0x41444245). Non-zero on success.
BOOL WINAPI SelectCMM(DWORD dwCMMType);

/// Opens a profile; null on failure (see GetLastError).
HPROFILE WINAPI OpenColorProfileA(PPROFILE pProfile, DWORD dwDesiredAccess, DWORD dwShareMode,
                                  DWORD dwCreationMode);
/// Sets *pbValid to whether the profile is well formed; non-zero when the
/// check could be made (*pbValid is left alone otherwise).
BOOL WINAPI IsColorProfileValid(HPROFILE hProfile, PBOOL pbValid);
BOOL WINAPI CloseColorProfile(HPROFILE hProfile);
BOOL WINAPI GetColorProfileHeader(HPROFILE hProfile, PPROFILEHEADER pHeader);
/// Copies up to *pcbElement bytes of tag `tag` from `dwOffset` into
/// pElement and sets *pcbElement to the count copied; with pElement null,
/// sets *pcbElement to the tag's size and returns FALSE (last error
/// ERROR_INSUFFICIENT_BUFFER). FALSE when the tag is absent.
BOOL WINAPI GetColorProfileElement(HPROFILE hProfile, TAGTYPE tag, DWORD dwOffset,
                                   PDWORD pcbElement, PVOID pElement, PBOOL pbReference);

/// A transform through nProfiles profiles with one intent for all
/// (nIntents 1) or one per profile; null on failure.
HTRANSFORM WINAPI CreateMultiProfileTransform(PHPROFILE pahProfiles, DWORD nProfiles,
                                              PDWORD padwIntent, DWORD nIntents, DWORD dwFlags,
                                              DWORD indexPreferredCMM);
BOOL WINAPI DeleteColorTransform(HTRANSFORM hxform);
/// Converts dwHeight rows of dwWidth pixels. A stride of 0 means rows
/// padded to a multiple of four bytes.
BOOL WINAPI TranslateBitmapBits(HTRANSFORM hColorTransform, PVOID pSrcBits, BMFORMAT bmInput,
                                DWORD dwWidth, DWORD dwHeight, DWORD dwInputStride, PVOID pDestBits,
                                BMFORMAT bmOutput, DWORD dwOutputStride, PBMCALLBACKFN pfnCallBack,
                                LPARAM ulCallbackData);
BOOL WINAPI TranslateColors(HTRANSFORM hColorTransform, PCOLOR paInputColors, DWORD nColors,
                            COLORTYPE ctInput, PCOLOR paOutputColors, COLORTYPE ctOutput);

/// PostScript resources of a profile. With pBuffer null, *pcbSize receives
/// the size needed; otherwise *pcbSize is the buffer's size on entry and the
/// count written on return. *pbBinary: on entry whether binary data is
/// acceptable, on return whether the data is binary.
BOOL WINAPI GetPS2ColorRenderingDictionary(HPROFILE hProfile, DWORD dwIntent, PBYTE pBuffer,
                                           PDWORD pcbSize, PBOOL pbBinary);
BOOL WINAPI GetPS2ColorSpaceArray(HPROFILE hProfile, DWORD dwIntent, DWORD dwCSAType, PBYTE pBuffer,
                                  PDWORD pcbSize, PBOOL pbBinary);

}  // extern "C"

#endif  // _WIN32
