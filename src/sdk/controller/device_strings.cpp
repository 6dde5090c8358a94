#include "sdk/controller/device_strings.h"

#include "sdk/controller/controller_identify.h"
#include "sdk/controller/info_block.h"
#include "sdk/controller/model_codes.h"

#include <cstring>

namespace {

enum : BYTE { kStringDescriptorType = 3 };
enum { kInfoBlockTimeoutSeconds = 5 };

}  // namespace

int ExtractDescriptorString(const BYTE* block, int blockLength, int at, char* out, int outSize) {
    if (out == NULL || outSize <= 0) return 0;
    int count = 0;
    if (block != NULL && at >= 0 && at < blockLength) {
        // The length byte counts the two header bytes and two bytes per character.
        int characters = (static_cast<int>(block[at]) - 2) / 2;
        for (int i = 0; i < characters && count < outSize - 1; ++i) {
            int low = at + 2 + 2 * i;
            if (low >= blockLength) break;
            out[count++] =
                static_cast<char>(block[low]);  // characters above 0xFF lose the high byte
        }
    }
    out[count] = '\0';
    return count;
}

void ExtractDeviceStrings(const BYTE* block, int blockLength, int descriptorOffset, char* vendor,
                          char* product, int outSize) {
    ExtractDescriptorString(block, blockLength, descriptorOffset + kManufacturerDescriptor, vendor,
                            outSize);
    ExtractDescriptorString(block, blockLength, descriptorOffset + kProductDescriptor, product,
                            outSize);
}

int DeviceStringsFromBlock(int modelCode, int readResult, const BYTE* block, int blockLength,
                           int descriptorOffset, char* vendor, char* product, int outSize) {
    if (IsFirstGenerationModel(modelCode)) {
        // The first generation's block is usable only with a string descriptor in place,
        // whatever the read reported.
        if (block == NULL || blockLength <= kFirstGenerationTypeByte ||
            block[kFirstGenerationTypeByte] != kStringDescriptorType)
            return 0;
        readResult = 1;
    }
    ExtractDeviceStrings(block, blockLength, descriptorOffset, vendor, product, outSize);
    return readResult;
}

int GetDeviceStrings(SMIDiskInfo* info, char* vendor, char* product) {
    if (info == NULL) return 0;
    if (vendor) vendor[0] = '\0';
    if (product) product[0] = '\0';
    IdentifyController(info);  // its result is not needed: the model code says what it found

    BYTE block[kInfoBlockReadSize] = {0};
    int result = ReadDiskInfoBlock(info, block);
    return DeviceStringsFromBlock(CurrentModelCode, result, block, sizeof block,
                                  info->descriptorOffset, vendor, product, kDeviceStringSize);
}

int ReadDiskInfoBlock(SMIDiskInfo* info, BYTE* buffer) {
    if (info == NULL || buffer == NULL) return 0;
    ScsiRequest request = MakeScsiRequest(info->deviceHandle, kInfoBlockTimeoutSeconds);
    int copyIndex = kInfoBlockCopyFirst;
    if (ChooseInfoBlockCopy(CurrentModelCode, &request, copyIndex) != 0) return 0;
    return ReadInfoBlock(CurrentModelCode, &request, copyIndex, buffer, kInfoBlockReadSize, 0) == 0
               ? 1
               : 0;
}
