// Cairo image set-up and the conversion to straight-alpha pixels.
#include "client/art/art_paint.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace cog::client::art {

cairo_t* begin_image(int width, int height) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_t* cr = cairo_create(surface);
    cairo_surface_destroy(surface); // the context keeps its own reference
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    return cr;
}

ArtImage finish_image(cairo_t* cr) {
    cairo_surface_t* surface = cairo_get_target(cr);
    cairo_surface_flush(surface);
    ArtImage image;
    image.width = cairo_image_surface_get_width(surface);
    image.height = cairo_image_surface_get_height(surface);
    image.argb.resize(static_cast<size_t>(image.width) * static_cast<size_t>(image.height));
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < image.height; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
        for (int x = 0; x < image.width; ++x) {
            // Cairo keeps colour premultiplied by alpha; SDL's blending wants it straight.
            const uint32_t p = row[x];
            const uint32_t a = p >> 24;
            uint32_t out = 0;
            if (a != 0) {
                const auto unmul = [a](uint32_t c) { return std::min<uint32_t>(255, (c * 255 + a / 2) / a); };
                out = a << 24 | unmul(p >> 16 & 0xFF) << 16 | unmul(p >> 8 & 0xFF) << 8 | unmul(p & 0xFF);
            }
            image.argb[static_cast<size_t>(y) * static_cast<size_t>(image.width) + static_cast<size_t>(x)] = out;
        }
    }
    cairo_destroy(cr);
    return image;
}

void set_colour(cairo_t* cr, Rgb c, double alpha) { cairo_set_source_rgba(cr, c.r, c.g, c.b, alpha); }

void rounded_rect(cairo_t* cr, double x, double y, double w, double h, double radius) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - radius, y + radius, radius, -M_PI / 2, 0);
    cairo_arc(cr, x + w - radius, y + h - radius, radius, 0, M_PI / 2);
    cairo_arc(cr, x + radius, y + h - radius, radius, M_PI / 2, M_PI);
    cairo_arc(cr, x + radius, y + radius, radius, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
}

void ellipse(cairo_t* cr, double cx, double cy, double rx, double ry) {
    cairo_save(cr);
    cairo_translate(cr, cx, cy);
    cairo_scale(cr, rx, ry);
    cairo_new_sub_path(cr);
    cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
    cairo_restore(cr);
}

void fill_and_outline(cairo_t* cr, Rgb fill, double line_width) {
    set_colour(cr, fill);
    cairo_fill_preserve(cr);
    set_colour(cr, OUTLINE);
    cairo_set_line_width(cr, line_width);
    cairo_stroke(cr);
}

void thick_line(cairo_t* cr, double x1, double y1, double x2, double y2, double width, Rgb c) {
    cairo_move_to(cr, x1, y1);
    cairo_line_to(cr, x2, y2);
    set_colour(cr, c);
    cairo_set_line_width(cr, width);
    cairo_stroke(cr);
}

} // namespace cog::client::art
