"""The Pillow peer: what a user would write to split a TIFF file with Pillow, in one process.

    python3 peer_pillow.py INPUT.tif OUTPUT_BASE

writes OUTPUT_BASE.000, OUTPUT_BASE.001, ... one page each, saved with the page's own compression
(and its predictor and resolution), so that the pages come out as close to the input as Pillow
makes them. Pillow decodes every page and encodes it again; there is no raw copy in its API.
"""
import sys

from PIL import Image

COMPRESSION_TAG = 259
PREDICTOR_TAG = 317


def main():
    source, base = sys.argv[1], sys.argv[2]
    with Image.open(source) as image:
        for index in range(image.n_frames):
            image.seek(index)
            options = {"compression": image.info.get("compression", "raw")}
            predictor = image.tag_v2.get(PREDICTOR_TAG)
            if predictor and predictor != 1:
                options["tiffinfo"] = {PREDICTOR_TAG: predictor}
            if "dpi" in image.info:
                options["dpi"] = image.info["dpi"]
            # TIFF output by file name needs the format named: the suffix is .000, .001, ...
            image.save("%s.%03d" % (base, index), format="TIFF", **options)


if __name__ == "__main__":
    main()
