#!/usr/bin/env python3
"""Writes an XML document of about the given size (MB, default 20) for
bench/xml_walk: nested elements with attributes, namespaces, character
references, internal entities and some CDATA, comments and PIs."""
import random
import sys

def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "bench.xml"
    target = int(float(sys.argv[2] if len(sys.argv) > 2 else 20) * 1024 * 1024)
    rnd = random.Random(42)
    words = ("alpha beta gamma delta epsilon zeta eta theta iota kappa lambda mu nu xi "
             "omicron pi rho sigma tau upsilon phi chi psi omega message header body "
             "part boundary charset encoding quoted printable base64").split()
    with open(out, "w", encoding="utf-8", newline="\n") as f:
        f.write('<?xml version="1.0" encoding="UTF-8"?>\n')
        f.write('<!DOCTYPE mailbox [\n'
                '  <!ENTITY company "Example Mail Systems &#169; 2024">\n'
                '  <!ENTITY sig "<sig>best regards, &company;</sig>">\n'
                ']>\n')
        f.write('<mb:mailbox xmlns:mb="urn:example:mailbox" xmlns="urn:example:default" '
                'xmlns:h="urn:example:header" version="1.0">\n')
        size = 300
        n = 0
        while size < target:
            n += 1
            parts = [f'  <mb:message id="m{n}" h:date="2024-03-{n % 28 + 1:02d}" flags="seen answered">\n',
                     f'    <h:from name="User {n}">user{n}@example.org</h:from>\n',
                     f'    <h:subject>Re: {" ".join(rnd.choice(words) for _ in range(6))} &#x2013; #{n}</h:subject>\n',
                     '    <body type="text/plain" charset="utf-8">\n']
            for i in range(rnd.randint(2, 5)):
                text = " ".join(rnd.choice(words) for _ in range(rnd.randint(8, 20)))
                tail = " &company;" if i == 0 else ""
                parts.append(f'      <p lang="en">{text} &amp; more &lt;text&gt; caf&#233;{tail}.</p>\n')
            if n % 7 == 0:
                parts.append('      <!-- quoted part follows -->\n')
                parts.append('      <quote><![CDATA[> older <text> & stuff]]></quote>\n')
            if n % 11 == 0:
                parts.append('      <?render mode="plain"?>\n')
            parts.append('      &sig;\n    </body>\n  </mb:message>\n')
            chunk = "".join(parts)
            f.write(chunk)
            size += len(chunk.encode("utf-8"))
        f.write('</mb:mailbox>\n')

if __name__ == "__main__":
    main()
