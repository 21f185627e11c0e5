#include <doctest/doctest.h>

#include "app/core/traypicture.h"
#include "resource.h"

using namespace dorvane;

TEST_CASE("each tray picture is shown with its own icon") {
    CHECK(PictureResource(TrayPicture::kEnabled) == IDR_MAINFRAME);
    CHECK(PictureResource(TrayPicture::kDisabled) == IDI_DISABLED);
    CHECK(PictureResource(TrayPicture::kReceiving) == IDI_RECEIVING);
    CHECK(PictureResource(TrayPicture::kSending) == IDI_SENDING);
    CHECK(PictureResource(TrayPicture::kSendingReceiving) == IDI_SENDING_RECEIVING);
    CHECK(PictureResource(TrayPicture::kWaiting) == IDI_WAITING);
}
