// Buffer operations: one fresh CBC message from the fixed IV per call.
#include "Form.h"

#include "cipher/CbcStream.h"

using namespace vaultine;

int Form::encryptBuffer(unsigned char *data, int length)
{
    if (length > 0)
        CbcStream(selectedAlgorithmIsAes()).encrypt(data, std::size_t(length));
    return 0;
}

int Form::decryptBuffer(unsigned char *data, int length)
{
    if (length > 0)
        CbcStream(selectedAlgorithmIsAes()).decrypt(data, std::size_t(length));
    return 0;
}
