#pragma once

#define FENMARL_USB_API __attribute__((visibility("default")))
