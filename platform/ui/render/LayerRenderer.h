#pragma once
// Composites a layer tree into a context, as the screen shows it at a given
// time: each layer's presentation at that time, placed by its geometry,
// with its shadow, background, contents, drawn content, sublayers and
// border, faded as one group by its opacity and cut by its mask.
//
// Drawn content (drawInContext: a delegate's drawing, shapes, text,
// gradients) is drawn into rasters at `contentsScale` pixels per point and
// kept with the layer between frames, until it changes, its size changes
// or the scale does; while an animation changes what a layer draws (a
// stroke end, a path), it is drawn afresh each frame. Shadows are kept the
// same way while nothing they depend on moves.
//
// The context maps points to whatever it draws on (a BitmapContext made
// for a point size at a scale); its current transform places the root
// layer's superlayer space. Main thread only: a large bitmap with no clip
// is drawn in bands on the shared pool's threads meanwhile, and content
// drawn from properties alone (shapes, text, gradients, views that say
// so) may be drawn there; delegates otherwise draw on the calling thread.

namespace platform {
class Context;
}

namespace platform::ui {

class Layer;

struct RenderOptions {
    double time = 0;           // media time to sample (currentMediaTime() for the screen)
    double contentsScale = 1;  // pixels per point of kept rasters
    // False for a drawing apart from the screen's, at another scale (a
    // blurred backdrop): what layers keep for the screen is neither made
    // nor replaced, and their content is drawn afresh.
    bool keepsRasters = true;
};

void renderLayerTree(Layer& root, Context& context, const RenderOptions& options);

}  // namespace platform::ui
