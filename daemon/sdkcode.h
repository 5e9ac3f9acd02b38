#pragma once

// The transaction code of an Android method for the runtime's SDK level
// (27, 28, 29). Any other level logs the critical message "Unsupported
// android SDK version!" and uses the code of 29.
int sdkCode(int sdk, int code27, int code28, int code29);
