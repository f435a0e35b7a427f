// The platform's graphics object, chosen at build time (one platform layer per
// window system under graphics/platform/).
#pragma once

class IGraphicsRaster;
class IPluginBase;

IGraphicsRaster* MakePlatformGraphics(IPluginBase* plug, int width, int height, int fps);
