#include "cli/manual_sections.h"

namespace velpin {

const std::vector<ManualSection>& ManualSections() {
    static const std::vector<ManualSection> sections = {
        {"FAULTS",
         {{"",
           "With --lenient, tree, tags, info, extract and scan read a broken movie as far as it "
           "goes: the items before the point where the load breaks are exactly the items a whole "
           "load gives. What is wrong is printed one line a fault on standard error, or as the "
           "faults array of the JSON output, and the exit status is 1. The load result stays "
           "what a strict load gives. repair writes the movie read back as one that loads. The "
           "faults:"},
          {"stream",
           "The compressed stream broke off or is damaged, or other bytes follow its end (then "
           "the movie before them is whole, and it loads even without --lenient)."},
          {"length",
           "The header declares a length that the movie, after inflation, does not hold; the "
           "walk runs over the bytes held."},
          {"walk",
           "The tag walk stopped at a tag or tag header that runs past the end, or a sprite "
           "whose fields do (-9), at sprites nested too deep (-10), or past the limit of "
           "4,194,304 items (-11)."}}},
        {"DEPENDENCIES",
         {{"",
           "scan --deps adds to every row the files and URLs the movie's code names (info's "
           "files and urls), each in exactly one of the lists present, missing and external, "
           "as the reference as written and the target looked for: a path in the collection, "
           "or an absolute URL. A reference is read as movies write it: percent-escapes "
           "decoded, a backslash taken as a separator in a relative path, a fragment dropped, "
           "and a query dropped for a local file; //host/path is a URL with the scheme of the "
           "record in a WARC, and external elsewhere. A pattern with * or ?, "
           "or a bare extension such as .swf, names nothing and is left out. Each reference is "
           "looked for where the movie lies:"},
          {"a loose movie",
           "a relative path against the movie's folder, present when the file exists; every URL "
           "is external."},
          {"an entry of a zip, 7z or tar",
           "a relative path against the entry's folder among the container's entries; an http "
           "or https URL is present when an entry's path ends with /HOST/PATH, the layout game "
           "archives keep what a movie loads from the web in; any other URL is external."},
          {"a record of a WARC, or of the WARCs of one WACZ",
           "every reference resolved as a URL against the record's WARC-Target-URI, present "
           "when a response, resource or revisit record has that target, missing otherwise; "
           "nothing is external."},
          {"",
           "A container is read once for its names before its movies are loaded; one given on "
           "standard input is first copied to a temporary file, so that it gives the same "
           "lists as the file named."}}},
        {"CONTAINERS",
         {{"",
           "scan reads collections where they lie, with nothing unpacked to disk but a 7z, or a "
           "zip over 1 MiB, inside another container, copied whole to a temporary file: zip, 7z, "
           "tar (plain or compressed with gzip, bzip2, xz or zstd), a movie gzipped whole, WARC "
           "(.warc, .warc.gz; WARC/1.0 and 1.1) and WACZ. A folder walk takes the files ending in "
           ".swf and in the containers' extensions; a file named on the command line is "
           "recognised by its content. Inside, every entry that starts with FWS, CWS or ZWS, or "
           "is named *.swf, gives the row its bytes would give as a loose file, with entry naming "
           "it from the outermost container inward. A container inside a container is read too, "
           "three levels deep; a fourth level gives a row with the error \"nested deeper than 3 "
           "containers\"."},
          {"WARC",
           "The movie is the payload of a response record (interim 1xx responses skipped, "
           "chunked transfer and gzip or deflate content coding undone) or the block of a "
           "resource record, named by its WARC-Target-URI."},
          {"damage",
           "A container that is cut off or cannot be read to its end gives a row with its error "
           "after the rows read before the break, and the exit status says so; a WARC record "
           "that cannot be read gives a row with its byte offset, and the reading goes on at "
           "the next record; so does a tar header with a bad checksum. A zip whose central "
           "directory cannot be read gives its entries from their own headers and a row that "
           "says so, as does one whose entries' own headers disagree with its central directory, "
           "which the rows follow; a zip entry that does not decode (deflate, bzip2, xz, LZMA, "
           "zstd, PPMd) or is encrypted gives its own error row, and the entries after it are "
           "read; a tar link named *.swf gives a row saying what it links to."},
          {"budget",
           "Each container may decode at most 1 GiB plus 1,000 times its own size, counting what "
           "the containers inside it decode: a decompression bomb gives a row naming the budget "
           "and the entry it ran out in, and the scan goes on with the next file. Decoders are "
           "bounded in memory too: an xz stream, a zstd window, or the LZMA dictionary of a zip "
           "entry or a 7z that asks for more than 128 MiB, or a 7z's PPMd model larger than the "
           "256 MiB a zip's may have, gives a row saying so."},
          {"standard input",
           "scan - reads one movie or one container as it streams in; a 7z, which can only be "
           "read by seeking, a zip or a Windows executable (which may be a self-extracting "
           "zip), read through the central directory as by path, and any container with "
           "--deps, which is read twice, are first copied to a temporary file under $TMPDIR, "
           "else /tmp, and removed afterwards."}}},
    };
    return sections;
}

}  // namespace velpin
