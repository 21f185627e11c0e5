#include "app/traypicture.h"

#include "resource.h"

namespace dorvane {

int PictureResource(TrayPicture picture) {
    switch (picture) {
        case TrayPicture::kEnabled:
            return IDR_MAINFRAME;
        case TrayPicture::kDisabled:
            return IDI_DISABLED;
        case TrayPicture::kReceiving:
            return IDI_RECEIVING;
        case TrayPicture::kSending:
            return IDI_SENDING;
        case TrayPicture::kSendingReceiving:
            return IDI_SENDING_RECEIVING;
        case TrayPicture::kWaiting:
            return IDI_WAITING;
    }
    return IDR_MAINFRAME;  // not reached: every picture is named above
}

}  // namespace dorvane
